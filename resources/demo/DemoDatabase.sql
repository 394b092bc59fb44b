-- The demonstration database installed as Data\Demo.qdb: the system tables and a few
-- pieces of equipment to try the application on.

CREATE TABLE SYSPARAMS (
    CN TEXT, CA TEXT, PN TEXT, DP TEXT, InsD TEXT, BkD TEXT, BkP TEXT, Ver TEXT
);
INSERT INTO SYSPARAMS (Ver) VALUES ('3.50');

CREATE TABLE MMRecord (MEMID INTEGER, MDate TEXT, MTime TEXT, BeiZhu TEXT, Uid TEXT);

-- Equipment register: number, name, model, department, date in service, state.
CREATE TABLE SBXX (
    SBBH TEXT PRIMARY KEY,
    SBMC TEXT NOT NULL,
    GGXH TEXT,
    SYBM TEXT,
    TYRQ TEXT,
    ZT   TEXT
);
INSERT INTO SBXX VALUES ('JC-001', '数控车床', 'CK6140', '机加工车间', '2019-03-12', '在用');
INSERT INTO SBXX VALUES ('JC-002', '立式加工中心', 'VMC850', '机加工车间', '2020-07-01', '在用');
INSERT INTO SBXX VALUES ('DQ-011', '空气压缩机', 'LG-10/8', '动力科', '2016-11-20', '维修');
INSERT INTO SBXX VALUES ('QZ-003', '桥式起重机', 'QD10t-22.5m', '装配车间', '2015-05-08', '在用');
INSERT INTO SBXX VALUES ('HJ-007', '二氧化碳保护焊机', 'NBC-350', '焊接车间', '2021-09-15', '封存');

-- The clean system database an installation puts in place as Data\MachineData.qdb.
-- The installer writes SYSPARAMS (company details, install date and folder, all encoded)
-- and appends one row to the operation log MMRecord.

CREATE TABLE SYSPARAMS (
    CN   TEXT,      -- company name
    CA   TEXT,      -- address
    PN   TEXT,      -- postcode
    DP   TEXT,      -- department
    InsD TEXT,      -- install date
    BkD  TEXT,      -- date of the last backup copy
    BkP  TEXT,      -- folder of the backup copies
    Ver  TEXT       -- version of the database layout
);
INSERT INTO SYSPARAMS (Ver) VALUES ('3.50');

CREATE TABLE MMRecord (
    MEMID  INTEGER,
    MDate  TEXT,    -- yyyy-mm-dd
    MTime  TEXT,    -- hh:nn:ss
    BeiZhu TEXT,    -- what was done
    Uid    TEXT     -- operator
);

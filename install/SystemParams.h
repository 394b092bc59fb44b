#pragma once
// The records an installation writes into the system database: the company details, install
// date and folder in SYSPARAMS (encoded), and one row of the operation log MMRecord.

#include <string>

#include "install/InstallWindow.h"
#include "platform/WinTime.h"

class DbConnection;
class DbQuery;

// "yyyy-mm-dd" and "yyyymmdd" of a local time.
std::string FormatDate(const win::SYSTEMTIME& time);
std::string FormatCompactDate(const win::SYSTEMTIME& time);

// Edits the first SYSPARAMS row, or appends one when there is none, and sets CN, CA, PN, DP,
// InsD, BkD and BkP, in this order, to the encoded values; then posts and closes.
void WriteSystemParams(DbQuery& query, const CompanyDetails& details, const std::string& installDir,
                       const win::SYSTEMTIME& now);

// Appends the install row to MMRecord (MEMID = rows at open + 1, MDate, MTime, "系统安装",
// "8888"), posts, closes the query and disconnects.
void AppendInstallLog(DbQuery& query, DbConnection& connection, const win::SYSTEMTIME& now);

#include "install/SystemParams.h"

#include <cstdio>

#include "platform/CodePage.h"
#include "platform/Database.h"
#include "utils/mUtils.h"

using namespace cp936::literals;

namespace {

std::string TwoDigits(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

std::string FourDigits(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d", value);
    return text;
}

// "hh:nn:ss", the colon being the user's time separator.
std::string FormatTime(const win::SYSTEMTIME& time) {
    const std::string separator = win::TimeSeparator();
    return TwoDigits(time.wHour) + separator + TwoDigits(time.wMinute) + separator +
           TwoDigits(time.wSecond);
}

std::string AddressValue(const std::string& address) {
    std::string trimmed = cp936::TrimControl(address);
    return trimmed.empty() ? "NULL" : trimmed;
}

void SetEncoded(DbQuery& query, std::string_view column, std::string_view value) {
    query.FieldByName(column).SetAsString(EncodeFieldText(value));
}

}  // namespace

std::string FormatDate(const win::SYSTEMTIME& time) {
    return FourDigits(time.wYear) + "-" + TwoDigits(time.wMonth) + "-" + TwoDigits(time.wDay);
}

std::string FormatCompactDate(const win::SYSTEMTIME& time) {
    return FourDigits(time.wYear) + TwoDigits(time.wMonth) + TwoDigits(time.wDay);
}

void WriteSystemParams(DbQuery& query, const CompanyDetails& details, const std::string& installDir,
                       const win::SYSTEMTIME& now) {
    query.SetSQL("SELECT * FROM SYSPARAMS");
    query.Open();
    if (query.RecordCount() != 0) {
        query.Edit();
    } else {
        query.Append();
    }
    const std::string today = FormatDate(now);
    SetEncoded(query, "CN", cp936::TrimControl(details.name));
    SetEncoded(query, "CA", AddressValue(details.address));
    SetEncoded(query, "PN", cp936::TrimControl(details.postcode));
    SetEncoded(query, "DP", cp936::TrimControl(details.department));
    SetEncoded(query, "InsD", today);
    SetEncoded(query, "BkD", today);
    SetEncoded(query, "BkP", installDir);
    query.Post();
    query.Close();
}

void AppendInstallLog(DbQuery& query, DbConnection& connection, const win::SYSTEMTIME& now) {
    // The log's word for an installation.
    const std::string installRemark = "系统安装"_gbk;
    query.SetSQL("SELECT * FROM MMRecord");
    query.Open();
    query.Append();
    query.FieldByName("MEMID").SetAsInteger(query.RecordCount() + 1);
    query.FieldByName("MDate").SetAsString(FormatDate(now));
    query.FieldByName("MTime").SetAsString(FormatTime(now));
    query.FieldByName("BeiZhu").SetAsString(installRemark);
    query.FieldByName("Uid").SetAsString("8888");
    query.Post();
    query.Close();
    connection.Close();
}

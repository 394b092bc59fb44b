// Makes the demo payload's generated files at build time from the sources committed beside
// it: an SQLite database from an SQL script, and the PDF manual from its text.
//
//   korvane-make-demo database SCRIPT.sql OUT.qdb
//   korvane-make-demo manual TEXT.txt OUT.pdf

#include <sqlite3.h>

#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPdfWriter>
#include <QTextDocument>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

int MakeDatabase(const char* script, const char* out) {
    std::ifstream in(script, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "%s: cannot be read\n", script);
        return 1;
    }
    std::stringstream sql;
    sql << in.rdbuf();
    std::error_code ignored;
    std::filesystem::remove(out, ignored);  // a clean database, not one added to
    sqlite3* db = nullptr;
    int rc = sqlite3_open(out, &db);
    char* error = nullptr;
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, sql.str().c_str(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", script, error ? error : sqlite3_errmsg(db));
        sqlite3_free(error);
        sqlite3_close(db);
        std::filesystem::remove(out, ignored);
        return 1;
    }
    return sqlite3_close(db) == SQLITE_OK ? 0 : 1;
}

// The manual's text is Markdown; the PDF is set in the Song face the installed system uses.
int MakeManual(int argc, char** argv, const char* text, const char* out) {
    QGuiApplication app(argc, argv);
    QFile source(QString::fromLocal8Bit(text));
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s: cannot be read\n", text);
        return 1;
    }
    QPdfWriter pdf(QString::fromLocal8Bit(out));
    pdf.setTitle(QStringLiteral("Korvane通用机器设备管理系统 使用说明书"));
    pdf.setCreator(QStringLiteral("korvane-make-demo"));
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);

    QTextDocument document;
    document.setDefaultFont(QFont(QStringLiteral("AR PL UMing CN"), 11));
    document.setMarkdown(QString::fromUtf8(source.readAll()));
    document.print(&pdf);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc == 4 ? argv[1] : "";
    if (mode == "database") return MakeDatabase(argv[2], argv[3]);
    if (mode == "manual") return MakeManual(argc, argv, argv[2], argv[3]);
    std::fprintf(stderr,
                 "usage: korvane-make-demo database SCRIPT.sql OUT.qdb\n"
                 "       korvane-make-demo manual TEXT.md OUT.pdf\n");
    return 2;
}

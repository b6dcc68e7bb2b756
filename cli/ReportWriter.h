#pragma once

#include "core/OutputFrogFile.h"

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lurvik::cli {

enum class ReportFormat { Tsv, Csv, Jsonl };

// text as a JSON string literal: valid UTF-8 with every control character escaped.
std::string jsonString(std::string_view text);

// 0 and the format for "tsv", "csv" or "jsonl".
int parseReportFormat(const std::string& name, ReportFormat& out);

// Writes a table of records as TSV (a header line, tabs, newlines and backslashes escaped as
// \t \n \r \\), CSV (RFC 4180: a header line, quoted where needed, CRLF) or JSON lines (one
// object per record, stable field names). Text comes out as valid UTF-8 whatever the pages
// held. "-" writes to stdout; a file is written beside its target and put in place on close.
class ReportWriter {
public:
    struct Field {
        const char* name;
        bool isNumber = false;
    };

    ReportWriter(ReportFormat format, std::vector<Field> fields)
        : m_format(format), m_fields(std::move(fields)) {}
    // warning, when not empty, goes first: a "# " line before the header, or a {"warning": ...}
    // record, so nobody reads the figures without it.
    [[nodiscard]] int open(const std::string& path, const std::string& warning = {});
    void row(const std::vector<std::string>& values);
    [[nodiscard]] int close();
    const std::string& errorText() const { return m_errorText; }

private:
    void emit(const std::string& text);

    ReportFormat m_format;
    std::vector<Field> m_fields;
    std::unique_ptr<OutputFrogFile> m_file;
    bool m_toStdout = false;
    bool m_toTerminal = false;
    std::string m_line;
    std::string m_errorText;
};

} // namespace lurvik::cli

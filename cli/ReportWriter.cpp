#include "ReportWriter.h"

#include "TextEscapes.h"
#include "core/Utf8.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace lurvik::cli {

namespace {

std::string validUtf8(const std::string& text) {
    std::string out;
    appendValidUtf8(text, out);
    return out;
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

} // namespace

std::string jsonString(std::string_view text) {
    std::string valid;
    appendValidUtf8(text, valid);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (size_t i = 0; i < valid.size(); ++i) {
        const char c = valid[i];
        auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (u < 0x20 || u == 0x7F) {
            out += "\\u00";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else if (u == 0xC2 && i + 1 < valid.size() && static_cast<unsigned char>(valid[i + 1]) <= 0x9F) {
            // U+0080 to U+009F, which a terminal may act on: the same character, spelled out.
            const auto low = static_cast<unsigned char>(valid[++i]);
            out += "\\u00";
            out += kHex[low >> 4];
            out += kHex[low & 15];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

int parseReportFormat(const std::string& name, ReportFormat& out) {
    if (name == "tsv")
        out = ReportFormat::Tsv;
    else if (name == "csv")
        out = ReportFormat::Csv;
    else if (name == "jsonl")
        out = ReportFormat::Jsonl;
    else
        return 1;
    return 0;
}

int ReportWriter::open(const std::string& path, const std::string& warning) {
    if (path == "-") {
        m_toStdout = true;
        m_toTerminal = isatty(fileno(stdout)) != 0;
    } else {
        m_file = std::make_unique<OutputFrogFile>(path);
        if (!m_file->isOpen()) {
            m_errorText = m_file->errorText().str();
            return 1;
        }
    }
    if (!warning.empty())
        emit(m_format == ReportFormat::Jsonl ? "{\"warning\":" + jsonString(warning) + "}" : "# " + warning);
    if (m_format == ReportFormat::Jsonl)
        return 0;
    std::string header;
    for (size_t i = 0; i < m_fields.size(); ++i)
        header += (i ? (m_format == ReportFormat::Csv ? "," : "\t") : "") + std::string(m_fields[i].name);
    emit(header);
    return 0;
}

void ReportWriter::row(const std::vector<std::string>& values) {
    std::string line;
    for (size_t i = 0; i < m_fields.size(); ++i) {
        std::string value = validUtf8(i < values.size() ? values[i] : std::string());
        switch (m_format) {
        case ReportFormat::Tsv:
            line += (i ? "\t" : "") + tsvField(value);
            break;
        case ReportFormat::Csv:
            // CSV has no escapes of its own: a file keeps the bytes, a terminal gets them spelled out.
            line += (i ? "," : "") + csvField(m_toTerminal ? shownText(value) : value);
            break;
        case ReportFormat::Jsonl:
            line += (i ? ", \"" : "{\"") + std::string(m_fields[i].name) + "\": ";
            line += m_fields[i].isNumber && !value.empty() ? value : jsonString(value);
            break;
        }
    }
    if (m_format == ReportFormat::Jsonl)
        line += "}";
    emit(line);
}

void ReportWriter::emit(const std::string& text) {
    std::string line = text + (m_format == ReportFormat::Csv ? "\r\n" : "\n");
    if (m_toStdout)
        std::fwrite(line.data(), 1, line.size(), stdout);
    else if (m_file)
        (void)m_file->write(line.data(), static_cast<int>(line.size()));
}

int ReportWriter::close() {
    if (m_toStdout) {
        errno = 0;
        if (std::fflush(stdout) == 0 && !std::ferror(stdout))
            return 0;
        m_errorText = std::strerror(errno ? errno : EIO);
        return 1;
    }
    if (!m_file)
        return 1;
    int result = m_file->close();
    if (result != 0)
        m_errorText = m_file->errorText().str();
    return result;
}

} // namespace lurvik::cli

#include "host/driver_protocol.h"

#include <cstdio>

#include "support/utf.h"

namespace tthost {

std::vector<std::u16string> SplitDriverCommand(const std::string& line) {
    std::string text = line;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    std::vector<std::u16string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = text.find('\t', start);
        fields.push_back(
            tt::Utf8ToUtf16(text.substr(start, tab == std::string::npos ? std::string::npos : tab - start)));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return fields;
}

void JsonWriter::Separate() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!first_.empty()) {
        if (!first_.back()) out_ += ',';
        first_.back() = false;
    }
}

JsonWriter& JsonWriter::BeginObject() {
    Separate();
    out_ += '{';
    first_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::EndObject() {
    out_ += '}';
    if (!first_.empty()) first_.pop_back();
    return *this;
}

JsonWriter& JsonWriter::BeginArray() {
    Separate();
    out_ += '[';
    first_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::EndArray() {
    out_ += ']';
    if (!first_.empty()) first_.pop_back();
    return *this;
}

JsonWriter& JsonWriter::Key(const char* name) {
    Separate();
    Quote(std::u16string(name, name + std::char_traits<char>::length(name)));
    out_ += ':';
    afterKey_ = true;
    return *this;
}

void JsonWriter::Quote(const std::u16string& text) {
    out_ += '"';
    std::u16string plain;
    auto flush = [&] {
        out_ += tt::Utf16ToUtf8(plain);
        plain.clear();
    };
    for (char16_t c : text) {
        if (c == u'"' || c == u'\\') {
            flush();
            out_ += '\\';
            out_ += static_cast<char>(c);
        } else if (c < 0x20) {
            flush();
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
            out_ += buf;
        } else {
            plain += c;
        }
    }
    flush();
    out_ += '"';
}

JsonWriter& JsonWriter::String(const std::u16string& text) {
    Separate();
    Quote(text);
    return *this;
}

JsonWriter& JsonWriter::String(const std::wstring& text) {
    return String(std::u16string(text.begin(), text.end()));
}

JsonWriter& JsonWriter::String(const char* ascii) {
    return String(std::u16string(ascii, ascii + std::char_traits<char>::length(ascii)));
}

JsonWriter& JsonWriter::Bytes(const std::string& bytes) {
    std::u16string wide;
    for (unsigned char b : bytes) wide += static_cast<char16_t>(b);
    return String(wide);
}

JsonWriter& JsonWriter::Number(int64_t value) {
    Separate();
    out_ += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
    Separate();
    out_ += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::Null() {
    Separate();
    out_ += "null";
    return *this;
}

JsonWriter& JsonWriter::Raw(const std::string& json) {
    Separate();
    out_ += json;
    return *this;
}

}  // namespace tthost

#pragma once
// The line protocol of the session driver (demo_driver_win.h): a command is one line of UTF-8
// fields separated by tabs; every answer is one line of JSON.
#include <cstdint>
#include <string>
#include <vector>

namespace tthost {

// The fields of one command line; a trailing carriage return is dropped, empty fields stay.
std::vector<std::u16string> SplitDriverCommand(const std::string& line);

// Writes one JSON value with commas placed by itself. Text goes out as UTF-8 with the
// characters JSON requires escaped; unpaired surrogates become U+FFFD.
class JsonWriter {
public:
    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    JsonWriter& Key(const char* name);
    JsonWriter& String(const std::u16string& text);
    JsonWriter& String(const std::wstring& text);
    JsonWriter& String(const char* ascii);
    // Bytes as they are, each one a character U+0000..U+00FF (the reader turns them back).
    JsonWriter& Bytes(const std::string& bytes);
    JsonWriter& Number(int64_t value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();
    // A complete JSON value written by another writer.
    JsonWriter& Raw(const std::string& json);

    const std::string& Text() const { return out_; }

private:
    void Separate();
    void Quote(const std::u16string& text);

    std::string out_;
    std::vector<bool> first_;  // per open container: no member written yet
    bool afterKey_ = false;
};

}  // namespace tthost

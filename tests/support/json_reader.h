// Test helper: a small JSON reader, enough to take the tools' JSON output apart field by field.
// Numbers are doubles; a parse error leaves `ok` false with the offset where it happened.
#pragma once

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace json {

struct Value {
    enum Kind { NUL, BOOL, NUMBER, STRING, ARRAY, OBJECT } kind = NUL;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Value> items;
    std::map<std::string, Value> fields;

    bool is_null() const { return kind == NUL; }
    bool has(const std::string& name) const { return fields.count(name) != 0; }
    // A missing field or index reads as null, so chains of look-ups never throw.
    const Value& operator[](const std::string& name) const {
        static const Value none;
        auto found = fields.find(name);
        return found == fields.end() ? none : found->second;
    }
    const Value& operator[](size_t index) const {
        static const Value none;
        return index < items.size() ? items[index] : none;
    }
    size_t size() const { return kind == ARRAY ? items.size() : fields.size(); }
};

class Reader {
  public:
    explicit Reader(const std::string& text) : text_(text) {}

    bool parse(Value& value) {
        ok_ = true;
        at_ = 0;
        read(value);
        blanks();
        if (at_ != text_.size()) fail();
        return ok_;
    }
    size_t error_offset() const { return at_; }

  private:
    void fail() { ok_ = false; }
    void blanks() {
        while (at_ < text_.size() && std::strchr(" \t\r\n", text_[at_]) && text_[at_]) ++at_;
    }
    bool take(char c) {
        blanks();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool word(const char* w) {
        const size_t n = std::strlen(w);
        if (text_.compare(at_, n, w) != 0) return false;
        at_ += n;
        return true;
    }
    void read_string(std::string& out) {
        if (!take('"')) return fail();
        while (ok_ && at_ < text_.size() && text_[at_] != '"') {
            char c = text_[at_++];
            if (c == '\\' && at_ < text_.size()) {
                const char e = text_[at_++];
                if (e == 'n')
                    c = '\n';
                else if (e == 't')
                    c = '\t';
                else if (e == 'r')
                    c = '\r';
                else if (e == 'b')
                    c = '\b';
                else if (e == 'f')
                    c = '\f';
                else if (e == 'u' && at_ + 4 <= text_.size()) {
                    const long code = std::strtol(text_.substr(at_, 4).c_str(), nullptr, 16);
                    at_ += 4;
                    if (code >= 0x80) return fail();  // the tools write only ASCII escapes
                    c = static_cast<char>(code);
                } else
                    c = e;
            }
            out += c;
        }
        if (!take('"')) fail();
    }
    void read(Value& value) {
        if (!ok_) return;
        blanks();
        if (at_ >= text_.size()) return fail();
        const char c = text_[at_];
        if (c == '{') {
            value.kind = Value::OBJECT;
            ++at_;
            if (take('}')) return;
            do {
                std::string name;
                read_string(name);
                if (!ok_ || !take(':')) return fail();
                read(value.fields[name]);
            } while (ok_ && take(','));
            if (!take('}')) fail();
        } else if (c == '[') {
            value.kind = Value::ARRAY;
            ++at_;
            if (take(']')) return;
            do {
                value.items.emplace_back();
                read(value.items.back());
            } while (ok_ && take(','));
            if (!take(']')) fail();
        } else if (c == '"') {
            value.kind = Value::STRING;
            read_string(value.text);
        } else if (word("true")) {
            value.kind = Value::BOOL;
            value.boolean = true;
        } else if (word("false")) {
            value.kind = Value::BOOL;
        } else if (word("null")) {
            value.kind = Value::NUL;
        } else {
            const char* start = text_.c_str() + at_;
            char* end = nullptr;
            value.number = std::strtod(start, &end);
            if (end == start) return fail();
            value.kind = Value::NUMBER;
            at_ += static_cast<size_t>(end - start);
        }
    }

    const std::string& text_;
    size_t at_ = 0;
    bool ok_ = true;
};

inline bool parse(const std::string& text, Value& value) {
    return Reader(text).parse(value);
}

}  // namespace json

#include "app/text_field.h"

#include <cctype>

#include "platform/font.h"
#include "platform/keys.h"

bool TextField::takes(char c) const {
    if (std::isdigit(static_cast<unsigned char>(c))) return true;
    if (digits_only_) return false;
    return std::isalpha(static_cast<unsigned char>(c)) || (c != ' ' && accepts_.find(c) != std::string::npos);
}

std::string TextField::takes() const {
    if (digits_only_) return "digits";
    std::string extra;
    for (char c : accepts_) extra += (extra.empty() ? "" : " ") + std::string(1, c);
    return extra.empty() ? "letters and digits" : "letters, digits and " + extra;
}

void TextField::start_editing() {
    if (editing_) return;
    editing_ = true;
    before_ = value;
    refused_.clear();
}

void TextField::add(char c) {
    if (!takes(c)) {
        refused_ = "This field takes " + takes() + ".";
        return;
    }
    if (value.size() < most_) value += char(std::tolower(static_cast<unsigned char>(c)));
}

void TextField::remove_last() {
    if (!value.empty()) value.pop_back();
}

bool TextField::type(const std::vector<Typed>& typed) {
    refused_.clear();
    for (const Typed& t : typed) {
        if (t.key == KEY_RETURN) {
            editing_ = false;
            return false;
        }
        if (t.key == KEY_ESCAPE) {
            value = before_;
            editing_ = false;
            return false;
        }
        if (t.key == KEY_BACKSPACE || t.key == KEY_DELETE) remove_last();
        for (char c : t.text) add(c);
    }
    return editing_;
}

std::string TextField::shown(float room, float scale) const {
    std::string cursor = editing_ ? "_" : "";
    auto width = [scale](const std::string& s) { return float(TextWidth(s)) * scale; };
    if (width(value + cursor) <= room) return value + cursor;
    for (size_t from = 1; from < value.size(); ++from) {
        std::string tail = "..." + value.substr(from) + cursor;
        if (width(tail) <= room) return tail;
    }
    return "..." + cursor;
}

#pragma once
// A field of a screen that takes text: typed on the keyboard (through the system's text
// input, so a keyboard layout's characters and an input method work) or from the pad's
// grid of characters. While it is being edited, every key that types goes into it, in
// the order typed, and no key of a pilot moves the focus; Return confirms the edit,
// Escape puts back what the field held before. Characters the field does not take are
// refused with a line that names those it does.
#include <string>
#include <vector>

#include "platform/input.h"

class TextField {
public:
    // `accepts` names the characters taken besides letters and digits (none for digits
    // alone, with `digits_only`), for the hints as well; `most` the longest value.
    TextField(std::string accepts, size_t most, bool digits_only = false)
        : accepts_(std::move(accepts)), most_(most), digits_only_(digits_only) {}

    std::string value;

    bool editing() const { return editing_; }
    void start_editing();
    // Types what came, in order. Returns true while the field is still being edited
    // (false once Return or Escape ended the edit in this frame's typing).
    bool type(const std::vector<Typed>& typed);
    // A character from the pad's grid, or the grid's delete.
    void add(char c);
    void remove_last();
    // The field's value as it fits in `room` pixels at `scale` of the current font: its
    // end, with "..." before it when it is too long; a cursor while it is edited.
    std::string shown(float room, float scale) const;
    // The characters the field takes, for a hint line: "letters, digits and . : -".
    std::string takes() const;
    // A line when the last typing held characters the field does not take, else "".
    const std::string& refused() const { return refused_; }

private:
    bool takes(char c) const;

    std::string accepts_;
    size_t most_;
    bool digits_only_;
    bool editing_ = false;
    std::string before_;
    std::string refused_;
};

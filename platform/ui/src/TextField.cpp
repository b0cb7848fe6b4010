#include "ui/TextField.h"

#include "ui/GraphicsContext.h"
#include "ui/Window.h"

#include <algorithm>

namespace ui {

namespace {
bool is_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
}  // namespace

void TextField::set_string(const std::string &text) {
    _text = text;
    _caret = _text.size();
    _all_selected = false;
    setNeedsDisplay();
}

void TextField::select_all() {
    _all_selected = !_text.empty();
    _caret = _text.size();
    setNeedsDisplay();
}

void TextField::set_float_value(float v) {
    set_string(_formatter ? _formatter->string_from_number(v) : NumberFormatter().string_from_number(v));
}

double TextField::double_value() const {
    NumberFormatter plain;
    const auto v = (_formatter ? *_formatter : plain).number_from_string(_text);
    return v ? *v : 0.0;
}

float TextField::float_value() const { return float(double_value()); }

void TextField::keyDown(const Event &e) {
    if (is_all_selected()) {
        const bool replaces = e.key == Key::character || e.key == Key::backspace || e.key == Key::delete_forward;
        const bool ends = e.key == Key::left || e.key == Key::right || e.key == Key::home || e.key == Key::end;
        if (replaces) {
            _text.clear();
            _caret = 0;
        }
        if (replaces || ends) _all_selected = false;
        if (e.key == Key::backspace || e.key == Key::delete_forward) {
            setNeedsDisplay();
            return;
        }
        if (e.key == Key::left) {
            _caret = 0;  // to the selection's start, as the platform does
            setNeedsDisplay();
            return;
        }
    }
    switch (e.key) {
    case Key::character:
        // Control characters never enter a one-line field.
        if (!e.characters.empty() && static_cast<unsigned char>(e.characters[0]) >= 0x20 && e.characters[0] != 0x7f) {
            _text.insert(_caret, e.characters);
            _caret += e.characters.size();
        }
        break;
    case Key::backspace:
        if (_caret > 0) {
            size_t start = _caret - 1;
            while (start > 0 && is_continuation(_text[start])) --start;
            _text.erase(start, _caret - start);
            _caret = start;
        }
        break;
    case Key::delete_forward:
        if (_caret < _text.size()) {
            size_t end = _caret + 1;
            while (end < _text.size() && is_continuation(_text[end])) ++end;
            _text.erase(_caret, end - _caret);
        }
        break;
    case Key::left:
        while (_caret > 0 && is_continuation(_text[--_caret])) {
        }
        break;
    case Key::right:
        if (_caret < _text.size())
            while (++_caret < _text.size() && is_continuation(_text[_caret])) {
            }
        break;
    case Key::home: _caret = 0; break;
    case Key::end: _caret = _text.size(); break;
    case Key::return_key:
        // A formatter refuses text that is no number: the field stays open with it, as typed.
        if (_formatter && !_formatter->number_from_string(_text)) break;
        if (action) {
            auto act = action;  // the action may close the window this field is in
            act(*this);
        }
        return;
    case Key::escape:
        if (cancel_action) {
            auto cancel = cancel_action;
            cancel(*this);
        }
        return;
    default: View::keyDown(e); return;
    }
    setNeedsDisplay();
}

NumberFormatter &TextField::ensure_formatter() {
    if (!_formatter) _formatter = std::make_shared<NumberFormatter>();
    return *_formatter;
}

void TextField::set_described_string(const std::string &key, const std::string &value) {
    if (key == "string")
        set_string(value);
    else if (key == "alignment")
        attributes.alignment = value == "center"  ? TextAlignment::center
                               : value == "right" ? TextAlignment::right
                                                  : TextAlignment::left;
}

void TextField::set_described_number(const std::string &key, double value) {
    if (key == "font_size" && value > 0)
        attributes.font.size = value;
    else if (key == "bold")
        attributes.font.bold = value != 0;
    else if (key == "formatter_minimum")
        ensure_formatter().set_minimum(value);
    else if (key == "formatter_maximum")
        ensure_formatter().set_maximum(value);
    else if (key == "fraction_digits")
        ensure_formatter().set_maximum_fraction_digits(int(std::clamp(value, 0.0, 17.0)));
    setNeedsDisplay();
}

void TextField::mouseDown(const Event &) {
    if (Window *w = window()) w->make_first_responder(this);
}

void TextField::drawRect(GraphicsContext &c, const Rect &) {
    const Rect b = bounds();
    if (background_color.alpha > 0) {
        c.set_fill_color(background_color);
        c.fill_rect(b);
    }
    const Size size = c.measure_text(_text.empty() ? " " : _text, attributes);
    // One line, centred vertically.
    const Rect line{b.x + 2, b.mid_y() - size.height / 2, b.width - 4, size.height};
    Window *w = window();
    const bool focused = w && w->first_responder() == this;
    if (focused && is_all_selected()) {
        double start = line.x;
        const double slack = line.width - size.width;
        if (attributes.alignment == TextAlignment::center)
            start += slack / 2;
        else if (attributes.alignment == TextAlignment::right)
            start += slack;
        c.set_fill_color(selection_color);
        c.fill_rect({start, line.y, std::min(size.width, line.width), line.height});
    }
    c.draw_text_in_rect(_text, line, attributes);
    if (focused && !is_all_selected()) {
        TextAttributes left = attributes;
        left.alignment = TextAlignment::left;
        const double before = _caret ? c.measure_text(_text.substr(0, _caret), left).width : 0;
        double start = line.x;
        if (attributes.alignment != TextAlignment::left) {
            const double slack = line.width - (_text.empty() ? 0 : size.width);
            start += attributes.alignment == TextAlignment::center ? slack / 2 : slack;
        }
        c.set_fill_color(caret_color);
        c.fill_rect({start + before, line.y, 1, line.height});
    }
}

}  // namespace ui

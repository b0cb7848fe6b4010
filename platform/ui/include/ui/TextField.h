// A one-line editable text field: caret, typing, Backspace/Delete, Left/Right/Home/End, Return
// (the action) and Escape (the cancel action). With a number formatter, Return only acts on text
// the formatter accepts.
#pragma once

#include "ui/Color.h"
#include "ui/InterfaceLoader.h"
#include "ui/NumberFormatter.h"
#include "ui/Text.h"
#include "ui/View.h"

#include <functional>
#include <memory>
#include <string>

namespace ui {

class TextField : public View, public DescribedProperties {
public:
    void set_string(const std::string &utf8);  // caret to the end, nothing selected
    const std::string &string() const { return _text; }
    size_t caret() const { return _caret; }  // byte offset into string()
    // The whole text selected, as when the field takes the keyboard: typing replaces it,
    // Backspace or Delete clears it, a caret key ends the selection.
    void select_all();
    bool is_all_selected() const { return _all_selected; }

    void set_formatter(std::shared_ptr<NumberFormatter> f) { _formatter = std::move(f); }
    NumberFormatter *formatter() const { return _formatter.get(); }
    // Through the formatter when there is one (clamped); 0 for text that is not a number.
    void set_float_value(float v);
    float float_value() const;
    double double_value() const;

    // Return with acceptable text; the field stays as it is.
    std::function<void(TextField &)> action;
    // Escape.
    std::function<void(TextField &)> cancel_action;

    TextAttributes attributes{Font::system(11), TextAlignment::left, Color::white()};
    Color background_color = Color::clear();
    Color caret_color = Color::white();
    Color selection_color{0.25, 0.25, 0.93, 1};

    void drawRect(GraphicsContext &context, const Rect &dirty) override;
    void keyDown(const Event &e) override;
    void mouseDown(const Event &e) override;  // takes focus
    bool acceptsFirstResponder() const override { return true; }
    void becomeFirstResponder() override { select_all(); }
    bool mouseDownCanMoveWindow() const override { return false; }

    void set_described_string(const std::string &key, const std::string &value) override;
    void set_described_number(const std::string &key, double value) override;

private:
    NumberFormatter &ensure_formatter();
    std::string _text;
    size_t _caret = 0;
    bool _all_selected = false;
    std::shared_ptr<NumberFormatter> _formatter;
};

}  // namespace ui

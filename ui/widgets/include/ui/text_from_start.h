// SPDX-License-Identifier: MIT
// Setting a line edit's text so that it shows from its start, as a text box whose text is
// set does: a count too wide for its box reads "12312", not "23121".
#pragma once

#include <QObject>
#include <QString>

class QLineEdit;

namespace ui {

// QLineEdit::setText leaves the cursor at the end, and a box shows the part of its text
// around the cursor when it paints. Moving the cursor costs about as much as setText
// (accessibility and input-method updates), so a box whose caret does not show has its
// cursor moved to the start once before it paints, not after every text.
class TextFromStart : public QObject {
public:
    // Watches box and lives as its child.
    explicit TextFromStart(QLineEdit* box);

    [[nodiscard]] const QLineEdit& box() const noexcept { return *box_; }
    void setText(QLatin1StringView text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void moveToStart();

    QLineEdit* box_;
    // A text was set and the cursor still lies at its end.
    bool start_due_ = false;
};

} // namespace ui

#include "app/hot_key_dialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

#include "app/auto_button.h"
#include "app/hot_key_layout.h"

namespace korvan {
namespace {

// The classic layout is given in dialog units: a quarter of the average character width
// across, an eighth of the character height down.
class DialogUnits {
public:
    explicit DialogUnits(const QFontMetrics& metrics)
        : averageWidth_(metrics.horizontalAdvance(
                            QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ")) /
                        52),
          height_(metrics.height()) {}

    QRect Rect(int x, int y, int width, int height) const {
        return {x * averageWidth_ / 4, y * height_ / 8, width * averageWidth_ / 4, height * height_ / 8};
    }
    QSize Size(int width, int height) const { return Rect(0, 0, width, height).size(); }

private:
    int averageWidth_;
    int height_;
};

}  // namespace

HotKeyDialog::HotKeyDialog(std::uint8_t keyCode, std::uint8_t modifiers, QWidget* parent)
    : QDialog(parent), modifiers_(modifiers), keyCode_(keyCode) {
    setWindowTitle(QString::fromUtf8(kTitle));
    BuildControls();
    ShowValues();
    shiftBox_->setFocus();
}

void HotKeyDialog::BuildControls() {
    const DialogUnits units(fontMetrics());
    // Created in tab order: the boxes, the key, then the buttons.
    shiftBox_ = new QCheckBox(QStringLiteral("Shift"), this);
    ctrlBox_ = new QCheckBox(QStringLiteral("Ctrl"), this);
    altBox_ = new QCheckBox(QStringLiteral("Alt"), this);
    auto* plus = new QLabel(QStringLiteral("+"), this);
    keyField_ = new QLineEdit(this);
    okButton_ = new AutoButton(QStringLiteral("OK"), this);
    cancelButton_ = new AutoButton(QStringLiteral("Cancel"), this);

    shiftBox_->setGeometry(units.Rect(40, 10, 36, 10));
    ctrlBox_->setGeometry(units.Rect(40, 25, 32, 10));
    altBox_->setGeometry(units.Rect(40, 40, 28, 10));
    plus->setGeometry(units.Rect(84, 27, 8, 8));
    keyField_->setGeometry(units.Rect(100, 25, 21, 12));
    okButton_->setGeometry(units.Rect(26, 60, 50, 14));
    cancelButton_->setGeometry(units.Rect(100, 60, 50, 14));
    setFixedSize(units.Size(177, 83));

    keyField_->setMaxLength(1);
    // The field shows what is typed in upper case, as the key byte will hold it.
    connect(keyField_, &QLineEdit::textEdited, keyField_, [this](const QString& text) {
        keyField_->setText(text.toUpper());
    });
    okButton_->SetupButton(AutoButton::AutoToggle::No, AutoButton::FollowsStatus::No);
    cancelButton_->SetupButton(AutoButton::AutoToggle::No, AutoButton::FollowsStatus::No);
    okButton_->setDefault(true);
    connect(okButton_, &QPushButton::clicked, this, &HotKeyDialog::accept);
    connect(cancelButton_, &QPushButton::clicked, this, &HotKeyDialog::reject);
}

void HotKeyDialog::ShowValues() {
    const HotKeyBoxes boxes = BoxesOfModifiers(modifiers_);
    altBox_->setChecked(boxes.alt);
    shiftBox_->setChecked(boxes.shift);
    ctrlBox_->setChecked(boxes.ctrl);
    keyField_->setText(QString::fromStdU32String(KeyTextOfCode(keyCode_)));
}

void HotKeyDialog::accept() {
    const std::optional<std::uint8_t> key = KeyCodeOfText(keyField_->text().toStdU32String());
    if (!key) {
        RefuseEmptyKey();
        return;
    }
    modifiers_ = ModifiersOfBoxes({.shift = shiftBox_->isChecked(), .ctrl = ctrlBox_->isChecked(),
                                   .alt = altBox_->isChecked()});
    keyCode_ = *key;
    QDialog::accept();
}

void HotKeyDialog::RefuseEmptyKey() {
    auto* box = new QMessageBox(QMessageBox::NoIcon, QCoreApplication::applicationName(),
                                QString::fromUtf8(kNoKeyText), QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

}  // namespace korvan

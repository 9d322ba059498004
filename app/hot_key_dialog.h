#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>

class QCheckBox;
class QLineEdit;

namespace korvan {

class AutoButton;

// The small dialog that chooses the hot key: three modifier boxes, a one-character key field,
// OK and Cancel. OK refuses an empty key with a box and stays open; Cancel leaves the bytes
// as they came in.
// (CHotKeyDialog in the classic program's naming.)
class HotKeyDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "请输入热键";
    static constexpr const char* kNoKeyText = "请输入键值!";

    HotKeyDialog(std::uint8_t keyCode, std::uint8_t modifiers, QWidget* parent = nullptr);

    std::uint8_t modifiers() const { return modifiers_; }
    std::uint8_t keyCode() const { return keyCode_; }

    QCheckBox* shiftBox() const { return shiftBox_; }
    QCheckBox* ctrlBox() const { return ctrlBox_; }
    QCheckBox* altBox() const { return altBox_; }
    QLineEdit* keyField() const { return keyField_; }
    AutoButton* okButton() const { return okButton_; }
    AutoButton* cancelButton() const { return cancelButton_; }

    void accept() override;

private:
    void BuildControls();
    void ShowValues();
    void RefuseEmptyKey();

    std::uint8_t modifiers_;
    std::uint8_t keyCode_;
    AutoButton* okButton_ = nullptr;
    AutoButton* cancelButton_ = nullptr;
    QCheckBox* shiftBox_ = nullptr;
    QCheckBox* ctrlBox_ = nullptr;
    QCheckBox* altBox_ = nullptr;
    QLineEdit* keyField_ = nullptr;
};

}  // namespace korvan

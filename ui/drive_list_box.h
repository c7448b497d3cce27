#pragma once

#include <QComboBox>

#include "platform/host.h"

namespace ui {

// A drive list box: one entry per drive of the host's table ("a:", "d: [QTL99]"), in letter
// order, read afresh when the list is created, set from code or opened by the user.
class DriveListBox : public QComboBox {
    Q_OBJECT
  public:
    explicit DriveListBox(platform::Host& host, QWidget* parent = nullptr);

    // The text of the current entry.
    QString Drive() const { return currentText(); }
    // Selects the entry of the drive named by the first character of `drive`. Raises 68 when
    // that drive is not in the table or is not ready (no disk). Not a user's change.
    void SetDrive(const QString& drive);
    // While locked, a user's change of the selection is undone at once.
    void SetLocked(bool locked) { locked_ = locked; }

    void showPopup() override;

  private:
    void Fill(const QString& keep);
    platform::Host& host_;
    bool locked_ = false;
    bool fromCode_ = false;
    int lastIndex_ = -1;
};

}  // namespace ui

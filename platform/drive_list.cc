#include "platform/drive_list.h"

#include <QDir>
#include <QSignalBlocker>

#include "platform/drives.h"
#include "platform/paths.h"
#include "platform/runtime_error.h"

namespace platform {

DriveListBox::DriveListBox(QWidget* parent) : QComboBox(parent) {
    // A new list starts on the current drive: that of the working folder.
    Fill(ToDriveForm(QDir::currentPath(), CurrentDrives()).left(2));
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (locked_ && !fromCode_ && lastIndex_ >= 0) {
            const QSignalBlocker blocker(this);
            setCurrentIndex(lastIndex_);
            return;
        }
        lastIndex_ = index;
    });
}

void DriveListBox::Fill(const QString& keep) {
    const QSignalBlocker blocker(this);
    fromCode_ = true;
    const QString wanted = keep.left(1).toLower();
    clear();
    int select = 0;
    for (const platform::Drive& d : CurrentDrives()) {
        if (QString(d.letter) == wanted)
            select = count();
        addItem(DriveListEntry(d));
    }
    setCurrentIndex(count() > 0 ? select : -1);
    lastIndex_ = currentIndex();
    fromCode_ = false;
}

void DriveListBox::SetDrive(const QString& drive) {
    const DriveTable table = CurrentDrives();
    const platform::Drive* d = drive.isEmpty() ? nullptr : FindDrive(table, drive[0]);
    if (d == nullptr || !IsReady(*d))
        throw RuntimeError(err::kDispositivoNoDisponible);
    Fill(drive);
}

void DriveListBox::showPopup() {
    if (!locked_)
        Fill(Drive());
    QComboBox::showPopup();
}

}  // namespace platform

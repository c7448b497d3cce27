#include "ui/drive_list_box.h"

#include <QDir>
#include <QSignalBlocker>
#include <QTextDocument>

#include "platform/drives/drive.h"
#include "platform/runtime_error.h"

namespace ui {

DriveListBox::DriveListBox(platform::Host& host, QWidget* parent) : QComboBox(parent), host_(host) {
    // A new list starts on the current drive: that of the working folder.
    Fill(platform::ToDriveForm(host_.systemCalls(), QDir::currentPath(), host_.Drives()).left(2));
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
    for (const auto& d : host_.Drives()) {
        if (QString(d->info().letter) == wanted)
            select = count();
        addItem(d->ListEntry());
        // Shown as it is written: a folder name is never taken for markup.
        if (const QString tip = d->ToolTip(); !tip.isEmpty())
            setItemData(count() - 1, Qt::convertFromPlainText(tip), Qt::ToolTipRole);
    }
    setCurrentIndex(count() > 0 ? select : -1);
    lastIndex_ = currentIndex();
    fromCode_ = false;
}

void DriveListBox::SetDrive(const QString& drive) {
    const platform::DriveTable table = host_.Drives();
    platform::Drive* d = drive.isEmpty() ? nullptr : platform::FindDrive(table, drive[0]);
    if (d == nullptr || !d->MakeReady())
        throw platform::RuntimeError(platform::errors::kDeviceUnavailable);
    Fill(drive);
}

void DriveListBox::showPopup() {
    if (!locked_)
        Fill(Drive());
    QComboBox::showPopup();
}

}  // namespace ui

// The text of a drive table as a person writes it: letters, folders, kinds.
#include <gtest/gtest.h>

#include <QString>

#include "platform/drive_table.h"
#include "platform/finding/detection.h"

namespace {

using platform::DriveKind;

TEST(TablaExplicitaTest, ParsesLettersFoldersAndKinds) {
    const auto parsed = platform::ParseDriveTable(
        QStringLiteral("A:=/media/floppy0; d:=/media/cdrom0,optical ;e:=/srv/x,removable;;"));
    EXPECT_TRUE(parsed.problems.isEmpty());
    ASSERT_EQ(parsed.drives.size(), 3u);
    EXPECT_EQ(parsed.drives[0].name(), u"a:");
    EXPECT_EQ(parsed.drives[0].root, u"/media/floppy0");
    EXPECT_EQ(parsed.drives[0].kind, DriveKind::kFloppy);
    EXPECT_EQ(parsed.drives[1].kind, DriveKind::kOptical);
    EXPECT_EQ(parsed.drives[1].root, u"/media/cdrom0");
    EXPECT_EQ(parsed.drives[2].kind, DriveKind::kRemovable);

    // Any folder name, quoted: ";", "," and blanks at its ends kept, "" a quote; and back.
    const QString raro = QStringLiteral("/home/ana/x;y, \"z\" ");
    const auto citada = platform::ParseDriveTable(u"a:="_qs + platform::QuoteTableFolder(raro) +
                                                  u",images ; d:=\"/cd ,optical\""_qs);
    EXPECT_TRUE(citada.problems.isEmpty()) << citada.problems.join(u'|').toStdString();
    ASSERT_EQ(citada.drives.size(), 2u);
    EXPECT_EQ(citada.drives[0].root, raro);
    EXPECT_EQ(citada.drives[0].kind, DriveKind::kImages);
    EXPECT_EQ(citada.drives[1].root, u"/cd ,optical");
    EXPECT_EQ(citada.drives[1].kind, DriveKind::kFixed);
}

TEST(TablaExplicitaTest, MalformedEntriesAreSkippedAndReported) {
    const auto parsed = platform::ParseDriveTable(
        QStringLiteral("sin-igual;1:=/x;ab:=/y;c:=;d:=/cd;d:=/otro;=/z;é:=/w;f:=/con,coma;"
                       "g:=\"/x\"sobra;h:=/it's\"1;i:=\"/sin/cierre;j:=/x"));
    ASSERT_EQ(parsed.drives.size(), 3u);
    EXPECT_EQ(parsed.drives[0].name(), u"d:");
    EXPECT_EQ(parsed.drives[0].root, u"/cd");
    // A comma not followed by a kind belongs to the folder.
    EXPECT_EQ(parsed.drives[1].root, u"/con,coma");
    // A quote inside a name that does not open with one is the name's own.
    EXPECT_EQ(parsed.drives[2].root, u"/it's\"1");
    // Text after a closing quote, or a quote never closed, are one problem each.
    EXPECT_EQ(parsed.problems.size(), 9);
}

}  // namespace

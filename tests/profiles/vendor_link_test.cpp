// The vendor link: the shortcut file and the opening of its address.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QFile>

#include "profiles/vendor_link.h"
#include "support/scripted_message_box.h"
#include "support/temp_tree.h"
#include "util/app_globals.h"

namespace {

class VendorLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedDir = lm::programDir;
    lm::programDir = tree.Path();
    previous = lm::SetUrlOpener([this](const QString& url) {
      opened << url;
      return answer;
    });
  }
  void TearDown() override {
    lm::SetUrlOpener(previous);
    lm::programDir = savedDir;
  }

  lmtest::TempTree tree;
  lmtest::ScriptedMessageBox boxes;
  QStringList opened;
  int answer = 42;
  QString savedDir;
  lm::UrlOpener previous;
};

const QByteArray kExpected =
    "[InternetShortcut]\r\nURL=http://host.example/chc/\r\nModified = C0EBFB793596C001AB\r\n";

TEST_F(VendorLinkTest, WritesExactlyThreeCrLfLinesAndReplacesThemAgain) {
  EXPECT_EQ(lm::WriteVendorShortcut("http://host.example/chc/"), 0);
  EXPECT_EQ(tree.ReadFile("VENDOR.URL"), kExpected);
  tree.WriteFile("VENDOR.URL", "something much longer than the shortcut itself\r\n\r\n\r\n\r\n");
  EXPECT_EQ(lm::WriteVendorShortcut("http://host.example/chc/"), 0);
  EXPECT_EQ(tree.ReadFile("VENDOR.URL"), kExpected);
}

TEST_F(VendorLinkTest, EmptyAddressWritesNothing) {
  EXPECT_EQ(lm::WriteVendorShortcut(QString()), -1);
  EXPECT_FALSE(QFile::exists(tree.Path("VENDOR.URL")));
}

TEST_F(VendorLinkTest, TheVendorPageIsAWebAddressUnderChc) {
  EXPECT_TRUE(lm::kVendorPageUrl.startsWith("http://"));
  EXPECT_TRUE(lm::kVendorPageUrl.endsWith("/chc/"));
  lm::OpenVendorPage();
  EXPECT_EQ(opened, QStringList({lm::kVendorPageUrl}));
  EXPECT_EQ(tree.ReadFile("VENDOR.URL"),
            "[InternetShortcut]\r\nURL=" + lm::kVendorPageUrl.toLatin1() +
                "\r\nModified = C0EBFB793596C001AB\r\n");
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(VendorLinkTest, ReadOnlyShortcutIsNeitherWrittenNorOpened) {
  const QString path = tree.WriteFile("VENDOR.URL", "old\r\n");
  QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadUser);
  EXPECT_EQ(lm::WriteVendorShortcut("http://host.example/chc/"), -9);
  lm::OpenVendorPage();
  EXPECT_TRUE(opened.isEmpty());
  EXPECT_TRUE(boxes.Shown().empty());
  EXPECT_EQ(tree.ReadFile("VENDOR.URL"), "old\r\n");
}

TEST_F(VendorLinkTest, UnwritableShortcutIsNeitherWrittenNorOpened) {
  tree.MakeDir("VENDOR.URL");  // a directory stands where the file would go
  EXPECT_EQ(lm::WriteVendorShortcut("http://host.example/chc/"), -9);
  lm::OpenVendorPage();
  EXPECT_TRUE(opened.isEmpty());
  EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(VendorLinkTest, OnlyTheOutOfResourcesResultIsReported) {
  struct Case {
    int result;
    bool reported;
  };
  for (const Case c : {Case{42, false}, Case{33, false}, Case{31, false}, Case{2, false},
                       Case{0, true}}) {
    boxes.Clear();
    answer = c.result;
    lm::OpenVendorPage();
    if (c.reported) {
      ASSERT_EQ(boxes.Shown().size(), 1u);
      EXPECT_EQ(boxes.Shown()[0].text, "メモリまたはリソースが足りません。");
      EXPECT_EQ(boxes.Shown()[0].style, 0);
      EXPECT_EQ(boxes.Shown()[0].title, "Loftmark");
    } else {
      EXPECT_TRUE(boxes.Shown().empty()) << c.result;
    }
  }
}

TEST_F(VendorLinkTest, OpenWithoutShortcutOpensNothing) {
  lm::OpenVendorShortcut();
  EXPECT_TRUE(opened.isEmpty());
  EXPECT_TRUE(boxes.Shown().empty());
}

}  // namespace

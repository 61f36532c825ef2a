#include "run/installed_packages.h"

#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace trovik::run {
namespace {

namespace fs = std::filesystem;

TEST(MetadataHeaders, FirstOfEachBeforeTheBlankLine) {
  const MetadataHeaders headers = metadata_headers(
      "Metadata-Version: 2.1\r\nname:  Py_Yaml \r\nSummary: a\n  Version: folded\nVersion: 6.0.1\n"
      "Version: 7\n\nName: in the description\n");
  EXPECT_EQ(headers.name, "Py_Yaml");
  EXPECT_EQ(headers.version, "6.0.1");
  EXPECT_EQ(metadata_headers("\nName: x\n").name, std::nullopt);
}

TEST(EditableLocation, OnlyEditableFileUrls) {
  EXPECT_EQ(
      editable_location(R"({"url": "file:///home/u/my%20pkg", "dir_info": {"editable": true}})"),
      "/home/u/my pkg");
  EXPECT_EQ(editable_location(R"({"url": "file://localhost/src", "dir_info": {"editable": true}})"),
            "/src");
  for (const char* text : {R"({"url": "file:///src", "dir_info": {}})",
                           R"({"url": "file:///src", "dir_info": {"editable": false}})",
                           R"({"url": "https://x/y.whl", "archive_info": {}})", "not json", "[]"}) {
    EXPECT_EQ(editable_location(text), std::nullopt) << text;
  }
}

TEST(NormalizedName, Pep503) {
  EXPECT_EQ(normalized_package_name("Foo.Bar__baz-_qux"), "foo-bar-baz-qux");
}

// Metadata laid out as installers leave it, in two directories of a search path.
class SearchPath : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "trovik-packages-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }

  void write(const fs::path& relative, const std::string& text) {
    fs::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative) << text;
  }

  fs::path root_;
};

TEST_F(SearchPath, EveryKindOfMetadataFirstOnThePathWins) {
  write("site/numpy-1.26.4.dist-info/METADATA", "Name: numpy\nVersion: 1.26.4\n\nlong text");
  write("site/mine-0.1.dist-info/METADATA", "Name: mine\nVersion: 0.1\n");
  write("site/mine-0.1.dist-info/direct_url.json",
        R"({"url": "file:///work/mine", "dir_info": {"editable": true}})");
  write("site/old.egg-info/PKG-INFO", "Name: old\nVersion: 2\n");
  write("site/single-3.0-py3.8.egg-info", "Metadata-Version: 1.0\nName: single\nVersion: 3.0\n");
  write("site/nameless_pkg-4.2.DIST-INFO/METADATA", "Metadata-Version: 2.1\n");
  write("site/broken-1.0.dist-info/RECORD", "");  // no METADATA: not listed
  write("site/numpy/__init__.py", "");
  write("later/NumPy-0.9.dist-info/METADATA", "Name: NumPy\nVersion: 0.9\n");
  write("later/zipped-1.egg/EGG-INFO/PKG-INFO", "Name: zipped\nVersion: 1\n");

  const std::vector<InstalledPackage> found =
      installed_packages({(root_ / "site").string(), (root_ / "missing").string(),
                          (root_ / "later").string(), (root_ / "later/zipped-1.egg").string()});
  EXPECT_EQ(found, (std::vector<InstalledPackage>{{"mine", "0.1", "/work/mine"},
                                                  {"nameless_pkg", "4.2", std::nullopt},
                                                  {"numpy", "1.26.4", std::nullopt},
                                                  {"old", "2", std::nullopt},
                                                  {"single", "3.0", std::nullopt},
                                                  {"zipped", "1", std::nullopt}}));
}

}  // namespace
}  // namespace trovik::run

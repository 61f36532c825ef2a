#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trovik::run {

// One distribution (an installed project) as Python's importlib.metadata sees it.
struct InstalledPackage {
  std::string name;  // the Name of its metadata, as written
  std::string version;
  // Where the source of an editable install lives (a PEP 660 install: direct_url.json with
  // dir_info.editable); absent for any other install.
  std::optional<std::string> editable_location;

  friend bool operator==(const InstalledPackage&, const InstalledPackage&) = default;
};

// The distributions found in the directories of `search_path` (sys.path; "" is the working
// directory), without importing anything: every *.dist-info and *.egg-info directory or file in
// each directory, and the EGG-INFO of a directory named *.egg. Of several with the same
// normalised name the first on the path wins, as it does for importlib.metadata.distribution().
// Sorted by name; an entry that can't be read is left out.
std::vector<InstalledPackage> installed_packages(const std::vector<std::string>& search_path);

// The Name and Version headers of core metadata (METADATA, PKG-INFO: RFC 822 headers, which end
// at the first empty line). A missing header is absent.
struct MetadataHeaders {
  std::optional<std::string> name;
  std::optional<std::string> version;
};
MetadataHeaders metadata_headers(std::string_view text);

// The source directory of an editable install, from the text of its direct_url.json: the path of
// its file: URL when dir_info.editable is true; absent otherwise or when the text is not such a
// document.
std::optional<std::string> editable_location(std::string_view direct_url_json);

// A project name in its PEP 503 normal form: lower case, each run of "-", "_" and "." one "-".
std::string normalized_package_name(std::string_view name);

}  // namespace trovik::run

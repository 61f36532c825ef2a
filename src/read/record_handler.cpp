#include "read/record_handler.h"

namespace trovik::read {

void RecordHandler::reset() {
  depth_ = 0;
  top_key_ = TopKey::kOther;
  array_depth_ = 0;
  step_key_ = false;
  top_is_object_ = false;
  kind_.clear();
  created_at_.clear();
  has_elapsed_ms_ = false;
  has_name_ = false;
  has_note_ = false;
  has_step_ = false;
  path_.clear();
  leaf_names_.clear();
  leaves_.clear();
}

void RecordHandler::open(bool array) {
  if (depth_ == 0 && !array) top_is_object_ = true;
  if (array) {
    if (top_key_ == TopKey::kValue && depth_ >= 1) ++array_depth_;
  } else if (in_value_tree() && depth_ >= 2) {
    // A nested object: its keys extend the path of the key that holds it.
    if (depth_ == 2 && member_.data() != path_.data()) path_.assign(member_);
    path_sizes_[depth_ + 1] = static_cast<uint32_t>(path_.size());
  } else if (in_value_tree() && depth_ == 1) {
    path_sizes_[2] = 0;
    path_.clear();
  }
  ++depth_;
  step_key_ = false;
}

void RecordHandler::close(bool array) {
  --depth_;
  if (array && top_key_ == TopKey::kValue && array_depth_ > 0) --array_depth_;
  step_key_ = false;
}

void RecordHandler::string(std::string_view content, bool /*escaped*/) {
  if (depth_ == 1) {
    switch (top_key_) {
      case TopKey::kKind:
        kind_.assign(content);
        break;
      case TopKey::kCreatedAt:
        created_at_.assign(content);
        break;
      case TopKey::kName:
        name_.assign(content);
        has_name_ = true;
        break;
      case TopKey::kNote:
        note_.assign(content);
        has_note_ = true;
        break;
      default:
        break;
    }
  }
  scalar_done();
}

void RecordHandler::key(std::string_view content, bool escaped) {
  if (depth_ == 1) {
    top_key_ = TopKey::kOther;
    array_depth_ = 0;
    if (content == "value") {
      top_key_ = TopKey::kValue;
    } else if (content == "kind") {
      top_key_ = TopKey::kKind;
    } else if (content == "elapsed_ms") {
      top_key_ = TopKey::kElapsedMs;
    } else if (content == "created_at") {
      top_key_ = TopKey::kCreatedAt;
    } else if (content == "experiment_name") {
      top_key_ = TopKey::kName;
    } else if (content == "note") {
      top_key_ = TopKey::kNote;
    }
    return;
  }
  if (!in_value_tree()) return;
  if (depth_ == 2) {
    // Most leaves are the value's own members: their names are the keys as they stand in the
    // line, with no path to build.
    if (escaped) {
      path_.assign(content);
      member_ = path_;
    } else {
      member_ = content;
    }
    step_key_ = content == "step";
    return;
  }
  path_.resize(path_sizes_[depth_]);
  path_ += '.';
  path_ += content;
  step_key_ = false;
}

void RecordHandler::numeric(double value) {
  if (in_value_tree() && depth_ >= 1) {
    const std::string_view name = depth_ == 1   ? std::string_view("value")
                                  : depth_ == 2 ? member_
                                                : std::string_view(path_);
    if (name.data() != path_.data()) {
      leaves_.push_back(Leaf{name.data(), static_cast<uint32_t>(name.size()), 0, value, token_});
    } else {
      leaves_.push_back(Leaf{nullptr, static_cast<uint32_t>(name.size()),
                             static_cast<uint32_t>(leaf_names_.size()), value, token_});
      leaf_names_ += name;
    }
  }
  scalar_done();
}

}  // namespace trovik::read

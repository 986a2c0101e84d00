#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace jet {

// A text that may be absent, in one pointer: a catalog holds three for every field and
// nearly all are absent, so a std::optional<std::string> (40 bytes each) made most of a wide
// schema's field records empty room. Reads as std::optional<std::string> does.
class OptionalText {
 public:
  OptionalText() = default;
  OptionalText(std::nullopt_t) {}
  OptionalText(std::string text) : text_(std::make_unique<std::string>(std::move(text))) {}
  OptionalText(const char* text) : OptionalText(std::string(text)) {}
  OptionalText(const std::optional<std::string>& text) {
    if (text) text_ = std::make_unique<std::string>(*text);
  }
  OptionalText(std::optional<std::string>&& text) {
    if (text) text_ = std::make_unique<std::string>(std::move(*text));
  }
  OptionalText(const OptionalText& other) : text_(other.text_ ? std::make_unique<std::string>(*other.text_) : nullptr) {}
  OptionalText(OptionalText&&) noexcept = default;
  OptionalText& operator=(const OptionalText& other) {
    if (this != &other) text_ = other.text_ ? std::make_unique<std::string>(*other.text_) : nullptr;
    return *this;
  }
  OptionalText& operator=(OptionalText&&) noexcept = default;
  OptionalText& operator=(std::nullopt_t) {
    text_.reset();
    return *this;
  }
  ~OptionalText() = default;

  bool has_value() const { return text_ != nullptr; }
  explicit operator bool() const { return has_value(); }
  const std::string& operator*() const { return *text_; }
  std::string& operator*() { return *text_; }
  const std::string* operator->() const { return text_.get(); }
  std::string* operator->() { return text_.get(); }
  const std::string& value() const {
    if (!text_) throw std::bad_optional_access();
    return *text_;
  }
  std::string value_or(std::string_view fallback) const { return text_ ? *text_ : std::string(fallback); }
  void reset() { text_.reset(); }
  std::optional<std::string> to_optional() const {
    return text_ ? std::optional<std::string>(*text_) : std::nullopt;
  }

  friend bool operator==(const OptionalText& a, std::nullopt_t) { return !a.text_; }
  friend bool operator==(const OptionalText& a, std::string_view b) { return a.text_ && *a.text_ == b; }
  friend bool operator==(const OptionalText& a, const char* b) { return a == std::string_view(b); }
  friend bool operator==(const OptionalText& a, const std::string& b) { return a == std::string_view(b); }
  friend bool operator==(const OptionalText& a, const OptionalText& b) {
    return a.text_ && b.text_ ? *a.text_ == *b.text_ : a.text_ == b.text_;
  }

 private:
  std::unique_ptr<std::string> text_;
};

}  // namespace jet

// Path queries: one scan each, no allocation except in path_join.
#include "platform/path.h"

std::string path_join(std::string_view a, std::string_view b) {
  if (a.empty()) return std::string(b);
  if (b.empty()) return std::string(a);
  std::string joined;
  joined.reserve(a.size() + 1 + b.size());
  joined.append(a);
  joined.push_back('/');
  joined.append(b);
  return joined;
}

std::string_view path_basename(std::string_view p) {
  size_t slash = p.rfind('/');
  return slash == std::string_view::npos ? p : p.substr(slash + 1);
}

std::string_view path_extension(std::string_view p) {
  std::string_view base = path_basename(p);
  size_t dot = base.rfind('.');
  return dot == std::string_view::npos ? base : base.substr(dot + 1);
}

std::string_view path_strip_extension(std::string_view p) {
  std::string_view extension = path_extension(p);
  if (extension.empty()) return p;
  size_t drop = extension.size() + 1;
  return drop >= p.size() ? p.substr(0, 0) : p.substr(0, p.size() - drop);
}

std::string_view path_dir_prefix(std::string_view p) {
  size_t slash = p.rfind('/');
  return slash == std::string_view::npos ? p.substr(0, 0) : p.substr(0, slash + 1);
}

bool path_is_absolute(std::string_view p) { return !p.empty() && p[0] == '/'; }

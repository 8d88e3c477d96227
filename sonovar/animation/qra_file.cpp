#include "sonovar/animation/qra_file.h"

#include <algorithm>
#include <system_error>

#include "common/ascii.h"
#include "common/numbers.h"
#include "platform/files.h"

namespace sonovar {

namespace {

constexpr int kEnd = std::char_traits<char>::eof();

// Without regard to letter case; names equal but for case in byte order, so
// that the same name twice always ends up side by side.
bool ListOrder(const std::string& a, const std::string& b) {
  auto lower_less = [](char x, char y) { return common::AsciiLower(x) < common::AsciiLower(y); };
  if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), lower_less)) return true;
  if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), lower_less)) return false;
  return a < b;
}

// Reads a text held in memory.
class MemoryBuffer : public std::streambuf {
 public:
  explicit MemoryBuffer(std::string& text) { setg(text.data(), text.data(), text.data() + text.size()); }
};

// What earlier loads left beyond the frames this load read is dropped, the
// furthest first, while all frames together hold more than one file may:
// loads one after the other keep no more than one file's worth.
void DropLeftovers(QraAnimation& animation, int read) {
  size_t held = 0;
  for (const std::string& frame : animation.QraFrames) held += frame.size();
  for (int i = kMaxQraFrames; i > read && held > kMaxQraFileFrameBytes; --i) {
    held -= animation.QraFrames[i].size();
    std::string().swap(animation.QraFrames[i]);
  }
}

}  // namespace

bool QraFieldReader::Next(std::string* field) {
  field->clear();
  int c = in_.sgetc();
  if (c == kEnd) return false;
  // A blank is the space alone: a tab in front of a field belongs to it.
  while (c == ' ') c = in_.snextc();
  // A line end ends the field; CR LF counts as one.
  auto ends_field = [this](int ch) {
    if (ch == ',' || ch == '\n') {
      in_.sbumpc();
      return true;
    }
    if (ch == '\r') {
      if (in_.snextc() == '\n') in_.sbumpc();
      return true;
    }
    return ch == kEnd;
  };
  if (c == '"') {
    // Quoted: commas, blanks and line ends inside belong to the field.
    for (c = in_.snextc(); c != '"' && c != kEnd; c = in_.snextc()) {
      if (field->size() == kMaxQraFieldBytes) return false;
      field->push_back(static_cast<char>(c));
    }
    if (c == '"') c = in_.snextc();
    while (!ends_field(c)) c = in_.snextc();  // what follows the closing quote is dropped
    return true;
  }
  while (!ends_field(c)) {
    if (field->size() == kMaxQraFieldBytes) return false;
    field->push_back(static_cast<char>(c));
    c = in_.snextc();
  }
  return true;
}

bool ReadQraFrames(std::istream& in, QraAnimation& animation) {
  QraFieldReader reader(in);
  std::string field;
  if (!reader.Next(&field)) return false;
  const std::optional<int16_t> count = common::LenientInt16(field);
  if (!count || *count > kMaxQraFrames) return false;
  animation.QraFrameCount = *count;
  // A frame that cannot be read leaves its entry as an earlier load left it.
  size_t total = 0;
  int read = 0;
  while (read < animation.QraFrameCount) {
    if (!reader.Next(&field) || (total += field.size()) > kMaxQraFileFrameBytes) break;
    // A copy of its own size: the reader's buffer grows to the longest field.
    animation.QraFrames[++read] = std::string(field);
  }
  DropLeftovers(animation, read);
  return read == animation.QraFrameCount || animation.QraFrameCount <= 0;
}

bool HasQraExtension(std::string_view name) {
  if (name.size() < 4) return false;
  std::string_view tail = name.substr(name.size() - 4);
  using common::AsciiLower;
  return tail[0] == '.' && AsciiLower(tail[1]) == 'q' && AsciiLower(tail[2]) == 'r' && AsciiLower(tail[3]) == 'a';
}

std::string QraShortName(std::string_view file_name) {
  if (!file_name.ends_with(".qra")) return std::string(file_name);
  const std::string_view stem = file_name.substr(0, file_name.size() - 4);
  return stem.empty() || HasQraExtension(stem) ? std::string(file_name) : std::string(stem);
}

std::filesystem::path ResolveQraName(std::string_view name, const AnimationFolders& folders) {
  // Names stay relative to the animation folders, whatever is typed.
  if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\") != std::string_view::npos ||
      folders.empty())
    return {};
  std::string file(name);
  if (!HasQraExtension(file)) file += ".qra";
  for (const std::filesystem::path& folder : folders) {
    std::error_code ec;
    if (std::filesystem::exists(folder / file, ec)) return folder / file;
  }
  return folders.front() / file;
}

std::vector<std::string> ListQraFiles(const AnimationFolders& folders) {
  std::vector<std::string> names;
  for (const std::filesystem::path& folder : folders) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      std::error_code type_ec;
      // A backslash is a folder part to the loader, so such a name would not load.
      if (HasQraExtension(name) && name.find('\\') == std::string::npos && it->is_regular_file(type_ec))
        names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end(), ListOrder);
  // A name in several folders is listed once: the first folder's file is the one loaded.
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

bool LoadQraFile(std::string_view name, const AnimationFolders& folders, QraAnimation& animation) {
  const std::filesystem::path path = ResolveQraName(name, folders);
  animation.QraFilePath = path.empty() ? std::string(name) : path.string();
  bool loaded = false;
  // Only a regular file, checked once it is open: a FIFO or a device would
  // wait for ever. The reader skips blanks and text after a closing quote
  // without keeping them, so the bytes read are bounded here.
  std::string text;
  bool more = false;
  // A link to an animation is as good as the file (the list shows it too).
  if (!path.empty() && platform::ReadRegularFile(path, kMaxQraFileBytes, platform::Links::kFollow, &text, &more) ==
                           platform::ReadStatus::kRead) {
    MemoryBuffer buffer(text);
    std::istream in(&buffer);
    loaded = ReadQraFrames(in, animation);
    // Frames that ran on beyond the bytes read would be cut short.
    if (more && buffer.sgetc() == kEnd) loaded = false;
  }
  animation.QraFramePos = 1;
  return loaded;
}

}  // namespace sonovar

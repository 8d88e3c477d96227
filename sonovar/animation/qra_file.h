// Animation files (".qra"): text fields, the first the frame count, then one
// frame per field, usually quoted ("QRL-PBA:..." profile frames and
// "QRL-SBA:..." state frames). No toolkit here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace sonovar {

inline constexpr int kMaxQraFrames = 10000;
// A field longer than this, or frames longer than this in all, are taken for
// a broken file: a frame of 32 values is some 100 bytes, and no frame longer
// than 32767 characters can be played.
inline constexpr size_t kMaxQraFieldBytes = 64 << 10;
inline constexpr size_t kMaxQraFileFrameBytes = 16 << 20;
// The most of a file the loader reads: the frames and room for blanks and
// separators around them. A file that needs more to give its frames is broken.
inline constexpr size_t kMaxQraFileBytes = kMaxQraFileFrameBytes + (4 << 20);

// The loaded animation.
struct QraAnimation {
  // Entries 1..QraFrameCount hold the frames; entry 0 is not used. A load
  // replaces only the entries it reads.
  std::vector<std::string> QraFrames = std::vector<std::string>(kMaxQraFrames + 1);
  int16_t QraFrameCount = 0;
  int16_t QraFramePos = 0;  // the last frame looked at; every load sets 1
  std::string QraFilePath;  // the file last loaded or tried
};

// Cuts a text into fields: a comma or a line end (LF, CR LF or CR) ends a
// field; blanks (spaces, not tabs) in front of a field are skipped; a field
// that begins with a double quote runs to the next double quote, and what
// follows that quote up to the next comma or line end is dropped.
class QraFieldReader {
 public:
  explicit QraFieldReader(std::istream& in) : in_(*in.rdbuf()) {}
  // The next field; false at the end of the text, or when a field runs
  // longer than kMaxQraFieldBytes.
  bool Next(std::string* field);

 private:
  std::streambuf& in_;
};

// Reads the count and the frames into `animation`: the count (the leading
// number of field 1, rounded) must lie within 16 bits and be at most 10000,
// else the old count stays; a count of 0 or less reads no frame. False when
// the count or any announced frame cannot be read, or the frames run beyond
// kMaxQraFileFrameBytes; what was read before that stays. Frames that earlier
// loads left are dropped, the furthest first, while all entries together
// hold more than kMaxQraFileFrameBytes.
bool ReadQraFrames(std::istream& in, QraAnimation& animation);

// The folders that hold animation files, in the order a name is looked up.
using AnimationFolders = std::vector<std::filesystem::path>;

// True when `name` ends in ".qra", in any letter case.
bool HasQraExtension(std::string_view name);

// The file that `name` stands for: ".qra" appended unless it has it, in the
// first folder that holds it (the first folder when none does). Empty when the
// name is not a plain file name (empty, a folder part, "." or "..").
std::filesystem::path ResolveQraName(std::string_view name, const AnimationFolders& folders);

// The animation files of all folders, each name once, sorted without regard
// to letter case: every regular file whose name ends in ".qra" in any case
// and that LoadQraFile can load by that name.
std::vector<std::string> ListQraFiles(const AnimationFolders& folders);

// The name that stands for the file called `file_name` (as typed or listed):
// without its ".qra" when that is how it ends, in lower case, after a name
// that does not end in ".qra" itself; whole otherwise (".qra", "SHOW.QRA"),
// so that the name always loads the same file again.
std::string QraShortName(std::string_view file_name);

// Loads the file that `name` stands for: QraFilePath takes its path, the
// frames are read, and QraFramePos becomes 1 whatever happens. True when the
// whole file was read. Only a regular file is read (FIFOs and devices are
// refused without waiting), and at most kMaxQraFileBytes of it.
bool LoadQraFile(std::string_view name, const AnimationFolders& folders, QraAnimation& animation);

}  // namespace sonovar

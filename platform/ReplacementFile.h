// Writes the new contents of a file beside it and puts them in its place only when they are complete,
// so a failed save (a full disk, a lost medium) never destroys the file the user had.
//
// What a replaced file keeps of the old one: its permissions, its extended attributes (access-control
// lists among them) and, where the process may set them, its owner and group. Two cases are written in
// place instead, as a plain open for writing would: a folder that refuses a new file although the file
// itself may be written, and a file with further hard links, whose other names must see the new content.
// A save in place that fails leaves the file as far as it was written.
#pragma once

#include <cstdio>
#include <string>

#include "platform/File.h"

class KIV_RUNTIME_API ReplacementFile {
  public:
    // Whether the two cases above may be written in place. Caches never are: a cache is always a new file
    // of its own folder, never written through a hard link into a file elsewhere.
    enum class InPlace { allowed, never };

    ReplacementFile() = default;
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;
    // Without a successful Commit, the temporary file is removed and the target left as it was.
    ~ReplacementFile();

    // Creates an empty temporary file in the target's folder (following a symbolic link to the file it
    // names), or opens the target itself in the cases above. False when the folder does not exist or
    // cannot be written (and the target cannot be written in place), or the file may not be written.
    bool Create(const CString& target, InPlace inPlace = InPlace::allowed);
    // Whether Create chose to write the target in place.
    bool WritesInPlace() const { return inPlace_; }
    // The file being written; its writes throw CFileException on failure.
    CFile& File() { return file_; }
    // The file as a stdio stream, for encoders that write through stdio; null when it cannot be had.
    // Commit flushes and closes it, and fails when any of its writes failed.
    std::FILE* StdioStream();
    // Closes the temporary file and renames it over the target (in place: cuts the target to what was
    // written and closes it). False, with the temporary file removed, when a step fails.
    bool Commit();

  private:
    bool OpenInPlace();
    // Flushes and closes the stdio stream; false when any of its writes failed.
    bool CloseStream();
    void Discard();

    CFile file_;
    std::FILE* stream_ = nullptr;
    int descriptor_ = -1;
    bool inPlace_ = false;
    std::string target_;
    std::string temporary_;
};

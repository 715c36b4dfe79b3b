// Writes the new contents of a file beside it and puts them in its place only when they are complete,
// so a failed save (a full disk, a lost medium) never destroys the file the user had.
#pragma once

#include <cstdio>
#include <string>

#include "platform/File.h"

class KIV_RUNTIME_API ReplacementFile {
  public:
    ReplacementFile() = default;
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;
    // Without a successful Commit, the temporary file is removed and the target left as it was.
    ~ReplacementFile();

    // Creates an empty temporary file in the target's folder (following a symbolic link to the file it
    // names). False when the folder does not exist or cannot be written, or the file may not be written.
    bool Create(const CString& target);
    // The temporary file, open for writing; its writes throw CFileException on failure.
    CFile& File() { return file_; }
    // The temporary file as a stdio stream, for encoders that write through stdio; null when it cannot be
    // had. Commit flushes and closes it, and fails when any of its writes failed.
    std::FILE* StdioStream();
    // Closes the temporary file and renames it over the target. False, with the temporary file removed,
    // when either step fails.
    bool Commit();

  private:
    void Discard();

    CFile file_;
    std::FILE* stream_ = nullptr;
    int descriptor_ = -1;
    std::string target_;
    std::string temporary_;
};

// src/mtrx/lib/files.h: the files a session has open (fopen's table), and
// the checks every built-in that names a file makes on the name.
#ifndef MTRX_LIB_FILES_H
#define MTRX_LIB_FILES_H

#include <cstddef>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace mtrx {

class Evaluator;
struct BuiltinCall;

/// One open file: 0, 1 and 2 are standard input, output and error (the
/// output and error have no stream: writes go to the session's display and
/// std::cerr).
struct OpenFile {
    std::FILE *stream = nullptr;
    std::string name;
    std::string permission;  // as fopen(fid) reports it: "r", "wb", "a+", ...
    bool big_endian = false;
    bool readable = false;
    bool writable = false;
    std::string error;  // the last failure, for ferror
};

/// The files fopen opened in one session. Identifiers start at 3 and are
/// reused once closed; the table closes what is still open when it ends
/// (clear all leaves it alone).
class FileTable {
public:
    FileTable();
    ~FileTable();
    FileTable(const FileTable &) = delete;
    FileTable &operator=(const FileTable &) = delete;

    /// Opens `path` with the C mode `mode`; the identifier, or -1 with the
    /// system's reason in `message`.
    int Open(const std::string &path, const std::string &mode, const std::string &permission,
             bool bigEndian, std::string &message);
    /// Closes fid (3 and up); false when it is not open.
    bool Close(int fid);
    void CloseAll();
    /// The file of `fid` (0, 1, 2 included), or null.
    OpenFile *Find(double fid);
    /// The identifiers open, 3 and up, ascending.
    std::vector<int> Identifiers() const;

    /// Bytes the session wrote to files, counted in the fuzz build only.
    std::size_t written = 0;

private:
    std::map<int, OpenFile> m_files;
    OpenFile m_standard[3];
};

/// fprintf(fid, ...): writes `text` to the file of args[0]; the count of
/// bytes written. Throws the invalid-identifier error for a closed one.
class Args;
double PrintToFile(const Args &args, BuiltinCall &c, const std::string &text);

/// 2 for a file, 7 for a folder, 0 when `name` is neither (as exist).
int PathKind(const std::string &name);

/// The session's table.
FileTable &FilesOf(Evaluator &evaluator);

/// What a session of the fuzz build may write to files in all.
constexpr std::size_t kSandboxWriteLimit = std::size_t(16) << 20;

/// Counts `bytes` about to be written by the built-in of `c`: in the fuzz
/// build (MTRX_FILE_SANDBOX) a session that would pass kSandboxWriteLimit
/// fails instead; elsewhere nothing is counted.
void ChargeWrite(BuiltinCall &c, std::size_t bytes);

/// `name`, checked for use by the built-in `who`: not empty. In the fuzz
/// build (MTRX_FILE_SANDBOX) only relative names inside the working folder
/// pass, so that no generated program reads a device or writes elsewhere.
std::string CheckedPath(const std::string &name, const std::string &who);

/// Writes `bytes` to `path` through a temporary file in the same folder
/// renamed over it, so that a failed write leaves the old file whole.
/// Throws mtrx::Error naming `who` and the file.
void ReplaceFile(const std::string &path, const std::string &bytes, const std::string &who);

/// The bytes of the file at `path`; throws "'WHO': cannot open 'PATH': REASON".
std::string ReadWholeFile(const std::string &path, const std::string &who);

}  // namespace mtrx

#endif  // MTRX_LIB_FILES_H

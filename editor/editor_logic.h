// The menu editor's decisions, without a window: which menu texts it can show, how a text is
// saved, how its argument names an object and which entry line "Add to..." appends for it.
// Portable: the Windows layer gathers paths and attributes and hands them in.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "launch/command_line.h"
#include "launch/launcher.h"

namespace zel::editor {

// A menu file is a few kilobytes; a text control with megabytes in it crawls, so larger files
// are refused rather than shown half-usable.
inline constexpr std::size_t kMaxMenuFileBytes = 1024 * 1024;

// The text a new menu file starts from: comments only, so it adds nothing to either menu.
extern const char kExampleMenu[];

enum class TextProblem { None, NulByte, TooLarge };

// Whether the bytes of a menu file can be shown and saved back unchanged: a NUL byte would
// end the text control's text there, and everything after it would be lost on saving.
TextProblem CheckMenuBytes(std::string_view bytes);
// The user's words for a problem; empty for None.
std::string DescribeProblem(TextProblem problem);

// CR LF after every line: a CR LF stays, a lone CR and a lone LF become CR LF (both programs
// read a lone LF as an ordinary byte, which would make the file one line). Every other byte
// is kept.
std::string ToCrLf(std::string_view text);

// The argument text of a command line: what follows the program name (quoted or not) and the
// blanks after it, as the C runtime would skip them.
std::string_view ArgumentText(std::string_view commandLine);
// The path in an argument text: blanks around it removed, and one pair of double quotes
// around the whole. A path with blanks in it may arrive unquoted, so the text is not split.
std::string PathFromArgument(std::string_view argumentText);

enum class ObjectKind { Program, Folder, Document };

// Paths are scanned by character with `lead`, the test of their code page: in code page 932
// a name may hold the byte of "\" inside a double-byte character (表 is 95 5C).

// Programs are what CreateProcess starts: .exe, .com, .bat and .cmd, in any letter case.
bool IsProgramPath(std::string_view path, LeadByteTest lead);

// The last part of a path ("C:\Tools\a.b.exe" gives "a.b.exe"; a drive root gives "C:").
std::string LastPart(std::string_view path, LeadByteTest lead);
// The last part without its extension ("a.b.exe" gives "a.b"); a name that is all extension
// (".profile") is kept whole.
std::string NameWithoutExtension(std::string_view path, LeadByteTest lead);

// The shell menu's extension list for documents like `path` in a menu file of `kind`: its last
// three characters, which is what the shell compares (bytes in an ANSI file). Capitals in them add
// the lower-case form in front ("JPG" gives "jpg,JPG") so that the entry serves both spellings.
// Empty (every selection) when the name has no extension or one of a single character, which three
// characters cannot single out.
std::string ExtensionList(std::string_view path, LeadByteTest lead, TextKind kind);

// A menu caption showing `name`: "&" doubled (a single one marks the mnemonic), quotes that
// cannot stand in a field dropped, and each keyword in `forbidden` broken by a "&" after its
// first letter, so that it reads the same but the keyword test no longer sees it.
std::string SafeCaption(std::string_view name, const std::vector<std::string>& forbidden);

// `value` as the text between a field's quotes: each quote doubled. Fails (false) where no
// field can hold it: a quote at either end, or two quotes in a row.
bool FieldText(std::string_view value, std::string& field);

// The object named by the editor's argument, as "Add to..." needs it.
struct ObjectInfo {
  bool folder = false;
  std::vector<std::string> paths;  // the long form, then the short one: existing forms only
  bool exists() const { return !paths.empty(); }
};

// The forms of `path` that lead to an object, the long one first. A form whose name holds
// characters outside the ANSI code page comes back with "?" in it and names nothing, so it is
// left out. An object that is gone by the time its forms are asked for has none: it does not
// exist.
ObjectInfo InspectObject(const std::string& path, launch::LaunchSystem& system);

// What "Add to..." knows about the object: its kind and the forms of its path (the long form
// first, then the short one), and for a document the program the user picked.
struct AddRequest {
  ObjectKind kind = ObjectKind::Program;
  std::vector<std::string> paths;
  std::vector<std::string> programPaths;
  LeadByteTest lead = NoLeadBytes;  // the paths' code page
  TextKind text = TextKind::Ansi;   // the menu file's, which the line is for
};

struct EntryLine {
  std::string line;     // empty when no line could be made
  std::string problem;  // why, for the user
};

// The entry line for the object:
//   program   item '<name>','<path>'
//   folder    item '<name>','explorer.exe','<path>'   (in double quotes when it holds a blank
//                                                        or a comma, which Explorer splits at)
//   document  citem '<program name>','<program>','%s','<extension list>'   ('"%s"' for a
//                                                                           batch program)
// The first form of each path that the menu format can carry unchanged is used. A line is
// made only when both programs read it as exactly this one entry, and the menu checker finds
// nothing in it.
EntryLine BuildEntryLine(const AddRequest& request);

// True when a line appended to `text` would land inside a submenu, in either program: the
// file ends with a submenu that has no end line (or inside a skipped one).
bool EndsInsideSubmenu(std::string_view text);

// `text` with `line` appended as its last line (a line end is added before it where the text
// has none); `lineIndex` receives the line's number counted from 0.
std::string AppendLine(std::string_view text, std::string_view line, std::size_t& lineIndex);

// The last step of a save as the system does it (ReplaceFile): the old file takes the backup's
// name and the new one the file's.
class FileReplacer {
 public:
  // OldFileMoved: the old file already carries the backup's name and the new one is still
  // where it was written (ERROR_UNABLE_TO_MOVE_REPLACEMENT_2).
  enum class Outcome { Replaced, Failed, OldFileMoved };
  struct Result {
    Outcome outcome;
    std::string why;  // the system's words for a failure
  };
  virtual ~FileReplacer() = default;
  virtual Result Replace(const std::string& path, const std::string& replacement,
                         const std::string& backup) = 0;
  // Why moving `from` to the free name `to` failed; empty when it worked.
  virtual std::string Move(const std::string& from, const std::string& to) = 0;
};

// Replaces `path` with `replacement`, keeping the old file as `backup`. Where the system moved
// the old file away and then failed, it is moved back; where that fails too, the menu exists
// only as `backup`, and the text says so. Returns why it failed, or empty.
std::string ReplaceKeepingBackup(FileReplacer& files, const std::string& path,
                                 const std::string& replacement, const std::string& backup,
                                 LeadByteTest lead);

}  // namespace zel::editor

// Outside programs and the answers they leave in files. A program runs from
// an argument vector, never through a shell, so no text that reaches an
// argument is ever interpreted; the one exception is RunShellCommand, for a
// command line that a document's author wrote. A program inherits the
// working directory, standard output and standard error, and is waited for.
#pragma once
#include <string>
#include <vector>

namespace platform {

// Starts argv[0] (looked up in PATH when it holds no slash) with the
// arguments and waits for it: its exit status, or -1 when it cannot start or
// was ended by a signal. An empty argv gives -1.
int RunProgram(const std::vector<std::string>& argv);

// Runs the program with the arguments and, last, the path of the file it is
// to write: outputPath's file name in a fresh folder of its own next to
// outputPath, made for this run (so no link can stand at that path). When the
// program exits with status 0 the file is renamed to outputPath, which
// replaces whatever stood there: a symbolic link itself, never the file it
// points to. The folder is removed afterwards. The status as RunProgram gives
// it; -1 also when the folder cannot be made or the file not be renamed.
int RunProgramWritingFile(std::vector<std::string> argv, const std::string& outputPath);

// Runs the command line through "/bin/sh -c" and waits for it; the status as
// RunProgram gives it (a command the shell cannot find is the shell's 127).
int RunShellCommand(const std::string& commandLine);

// Reads the file's lines into *lines (replacing what it held): whole lines
// of any length, each without its line end and without one trailing "\r";
// a last line without a line end counts. False, with *lines empty, when the
// file cannot be opened.
bool ReadAnswerLines(const std::string& path, std::vector<std::string>* lines);

}  // namespace platform

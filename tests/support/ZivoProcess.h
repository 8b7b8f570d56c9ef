// Runs the built zivo program as a user runs it, for the tests of its
// commands: the program beside the tests folder (build/zivo), its standard
// output and error captured, its exit status reported. The wait for it is
// bounded: a program still running after the timeout is killed and the run
// marked timed out.
#pragma once

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

struct _tagSZivoRun {
  int status = -1;  // exit status; -1 when it did not exit normally
  bool timedOut = false;
  std::string out;
  std::string err;
  // Standard output parsed as JSON (a test failure, and null, when it is not).
  nlohmann::json Json() const;
};

std::filesystem::path ZivoProgram();

// Runs zivo with `args` in the working folder `workDir` (the caller's when
// empty).
_tagSZivoRun RunZivo(const std::vector<std::string>& args, const std::string& workDir = "",
                     std::chrono::milliseconds timeout = std::chrono::seconds(60));

#include "tests/support/CaptureStdout.h"

#include <stdio.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <stdexcept>

namespace testsupport {

CaptureStdout::CaptureStdout() {
  std::cout.flush();
  std::fflush(stdout);
  FILE* file = std::tmpfile();
  if (!file) throw std::runtime_error("tmpfile failed");
  fileFd_ = dup(fileno(file));
  std::fclose(file);
  savedFd_ = dup(1);
  dup2(fileFd_, 1);
}

CaptureStdout::~CaptureStdout() {
  if (savedFd_ >= 0) Take();
}

std::string CaptureStdout::Take() {
  std::cout.flush();
  std::fflush(stdout);
  dup2(savedFd_, 1);
  close(savedFd_);
  savedFd_ = -1;
  std::string bytes;
  lseek(fileFd_, 0, SEEK_SET);
  char buffer[4096];
  ssize_t n;
  while ((n = read(fileFd_, buffer, sizeof buffer)) > 0) bytes.append(buffer, n);
  close(fileFd_);
  fileFd_ = -1;
  return bytes;
}

}  // namespace testsupport

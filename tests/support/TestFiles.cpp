// The helpers that are the same on every system.
#include "support/TestSupport.h"

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testing_support {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out << data;
}

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s)
    c = static_cast<char>(rng());
  return s;
}

bool WaitForFile(const std::string& path) {
  for (int i = 0; i < 500; ++i) {
    if (Exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

std::string Joined(const std::vector<std::string>& names, const std::string& separator) {
  std::string s;
  for (const std::string& n : names)
    s += (s.empty() ? "" : separator) + n;
  return s;
}

std::string UniqueName(const std::string& base) {
  // The clock as well: a random device of some run-times gives every process the same numbers.
  static std::mt19937 rng(
      std::random_device{}() ^
      static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
  return base + std::to_string(rng() % 1000000);
}

} // namespace testing_support

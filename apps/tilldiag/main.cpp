// tilldiag: placeholder while the tool is being written (it prints its usage and ends with 2).
#include <iostream>

int main() {
  std::cerr << "usage: tilldiag list|open [N] [--json]\n";
  return 2;
}

// Opens and closes an embedded database through the installed library.
// Usage: install_check FOLDER
#include <QZNVGeZhuanDBControl.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::string folder = argv[1];
  DBsSetNode node;
  node.strConnect1.assign(folder.begin(), folder.end());
  node.strConnect2 = L"install-check.db";
  CQZNVGeZhuanDBControl control;
  if (!control.OpenQZNVGeZhuanDB(node)) {
    std::puts("open failed");
    return 1;
  }
  control.CloseQZNVGeZhuanDB();
  std::puts("opened and closed");
  return 0;
}

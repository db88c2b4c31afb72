// Makes a database through the library alone, for the test command to open
// with the tool: the tables and the sample catalogue, in the folder and
// file given (as wide text from the command line, whatever their script).
// Usage: qz_make_database FOLDER FILE
#include <QZNVGeZhuanHost.h>
#include <windows.h>
// shellapi.h uses the types of windows.h
#include <shellapi.h>

#include <cstdio>
#include <string>

int main() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr || count != 3) {
    std::fprintf(stderr, "usage: qz_make_database FOLDER FILE\n");
    return 2;
  }
  DBsSetNode node;
  node.nDBType = 0;
  node.strConnect1 = arguments[1];
  node.strConnect2 = arguments[2];
  LocalFree(arguments);
  std::wstring error;
  if (!QZNVGeZhuanCreateTables(node, &error) || !QZNVGeZhuanAddSampleCatalogue(node, &error)) {
    std::fprintf(stderr, "qz_make_database: %ls\n", error.c_str());
    return 1;
  }
  return 0;
}

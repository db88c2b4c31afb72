#include "catalogue/CatalogueBackend.h"

namespace qz::testing {
namespace {

std::wstring Quoted(const std::wstring& text) {
  std::wstring out = L"'";
  for (wchar_t c : text) {
    if (c == L'\'') out += L'\'';
    out += c;
  }
  return out + L"'";
}

}  // namespace

void CatalogueBackend::InsertGroup(const std::wstring& guid, const std::wstring& name, const std::wstring& hint) const {
  Execute(L"INSERT INTO VTRTAPEGROUPINFO (guidGroupID, strGroupName, strGroupHint) VALUES (" + Quoted(guid) + L", " +
          Quoted(name) + L", " + Quoted(hint) + L")");
}

void CatalogueBackend::InsertTape(const std::wstring& guid, const std::wstring& name, const std::wstring& hint,
                                  const std::wstring& group, int max_length, int is_default) const {
  Execute(L"INSERT INTO VTRTAPEINFO (TAPEGUID, TAPENAME, TAPEHINT, guidGroupID, nMaxLength, bIfDefault) VALUES (" +
          Quoted(guid) + L", " + Quoted(name) + L", " + Quoted(hint) + L", " + Quoted(group) + L", " +
          std::to_wstring(max_length) + L", " + std::to_wstring(is_default) + L")");
}

std::unique_ptr<CatalogueBackend> MakeCatalogueBackend(const std::string& name, bool with_tables) {
  std::unique_ptr<EngineDatabase> database = MakeEngineDatabase(name, with_tables);
  if (!database) return nullptr;
  return std::make_unique<CatalogueBackend>(std::move(database));
}

}  // namespace qz::testing

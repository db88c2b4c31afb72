#include <QZDatabaseAccess.h>

#include <mutex>
#include <utility>

namespace {

std::mutex& ObserverMutex() {
  static std::mutex mutex;
  return mutex;
}

std::function<void(const CQZDBException&)>& Observer() {
  static std::function<void(const CQZDBException&)> observer;
  return observer;
}

}  // namespace

CQZDBException::CQZDBException(std::wstring message, std::string sqlState, int nativeError)
    : m_strError(std::move(message)), m_strSQLState(std::move(sqlState)), m_nNativeError(nativeError) {}

CQZDBException::~CQZDBException() = default;

void CQZDBException::Delete() { delete this; }

void CQZDBException::SetObserver(std::function<void(const CQZDBException&)> observer) {
  std::lock_guard<std::mutex> lock(ObserverMutex());
  Observer() = std::move(observer);
}

void CQZDBException::Raise(std::wstring message, std::string sqlState, int nativeError) {
  auto* exception = new CQZDBException(std::move(message), std::move(sqlState), nativeError);
  std::function<void(const CQZDBException&)> observer;
  {
    std::lock_guard<std::mutex> lock(ObserverMutex());
    observer = Observer();
  }
  if (observer) observer(*exception);
  throw exception;
}

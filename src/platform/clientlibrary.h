#pragma once

// Functions of the database client libraries under Qt's database drivers, looked up when first
// used. The drivers load these libraries themselves when a connection is made, so a program that
// never connects (the headless runner on most flows) does not load them, nor the security and
// directory libraries they bring, at every start.

#include <initializer_list>

class QVariant;

namespace clientlibrary {

// The function `name` of the shared library `library` (its soname), loading it if no driver has
// yet; nullptr when either is missing. Safe from any thread.
void* symbol(const char* library, const char* name);

template <class Function>
Function* function(const char* library, const char* name)
{
    return reinterpret_cast<Function*>(symbol(library, name));
}

// The pointer a Qt database driver hands out as its native handle (QSqlDriver::handle()), when
// it is of one of the types named; nullptr otherwise.
void* nativeHandle(const QVariant& handle, std::initializer_list<const char*> typeNames);

inline constexpr const char* PostgreSQL = "libpq.so.5";
inline constexpr const char* SQLite = "libsqlite3.so.0";
inline constexpr const char* ODBC = "libodbc.so.2";

}  // namespace clientlibrary

// The client function `fn` (declared by its library's header) from `library`, or nullptr.
#define SORVIX_CLIENT_FUNCTION(library, fn) ::clientlibrary::function<decltype(fn)>(library, #fn)

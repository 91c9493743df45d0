// String values of a registry-like store, as the file-type questions of cFile
// ask them.
//
// This platform has no registry. cReg keeps the values it is asked to write
// in a small user-level store, an INI file in the user's configuration
// directory (QStandardPaths::ConfigLocation, "loftmark/registry.ini"); reads
// consult that store first. Below the classes root (kHkeyClassesRoot), values
// the store does not hold are answered from the desktop's file-type database:
//
//   ".ext"                         default value: the MIME type of the extension
//   "<mime type>"                  default value: the type's description
//   "<mime type>\shell\open\command" or ".ext\shell\open\command"
//                                  default value: the command line of the
//                                  type's default application, "%1" standing
//                                  for the file
//
// Key names and value names are matched without regard to case, as in the
// Windows registry.
#pragma once

#include <cstdint>

#include <QString>

namespace lm {

constexpr uint32_t kHkeyClassesRoot = 0x80000000u;
constexpr uint32_t kHkeyCurrentUser = 0x80000001u;
constexpr uint32_t kHkeyLocalMachine = 0x80000002u;

class cReg {
 public:
  // The text of the value, "" when there is none or on any failure.
  QString RegGetString(uint32_t lnghInKey, const QString& strSubKey, const QString& strValName) const;
  // Writes the value into the user-level store; true on success. A failure
  // shows "ERROR #<number> : <description>" and gives false.
  bool RegSetString(uint32_t lnghKey, const QString& strSubKey, const QString& strValName,
                    const QString& strSetValue);

  // The INI file of the user-level store.
  static QString StorePath();
  // Replaces the store's file (tests); an empty text restores the default.
  static void SetStorePathForTesting(const QString& path);

  // The desktop entry id of the default application for a MIME type ("" when
  // none), and the command line of a desktop entry with "%1" for the file.
  static QString DefaultApplicationFor(const QString& mimeType);
  static QString CommandOfDesktopEntry(const QString& desktopId);
};

}  // namespace lm

// The document named by "$Command" is opened after extraction. The author
// names it by its file name while the archive may hold it in a subfolder,
// so when it is not at the install folder's root the one extracted file of
// that name (letter case aside) is taken.
#pragma once

#include <string>
#include <vector>

namespace sfxw {

enum class DocumentLookup { kFound, kNone, kSeveral, kUnsafe };

// `files` are the extracted files relative to `dir`.
DocumentLookup FindDocument(const std::wstring& dir, const std::wstring& command,
                            const std::vector<std::wstring>& files, std::wstring& path);

}  // namespace sfxw

// Reading cabinets: the member list for the find functions and the archive
// check. Works on any cabinet, whoever made it.
//
// Member names: a name flagged as UTF-8 in the cabinet is converted to code
// page 932; any other name is handed out as the bytes stored (cabinets made
// on Japanese Windows hold code page 932 there).
//
// The format keeps no per-member packed size and no per-member checksum: the
// packed size is the member's share of its folder's compressed data (by
// unpacked size), and the checksum field is 0.
#include <libgcab.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "archive/cab/cab_internal.h"
#include "archive/common/output_text.h"
#include "archive/common/result_codes.h"
#include "util/cp932/cp932.h"

namespace cab {
namespace {

const char* MethodName(int comptype) {
  switch (comptype & GCAB_COMPRESSION_MASK) {
    case GCAB_COMPRESSION_NONE: return "NONE";
    case GCAB_COMPRESSION_MSZIP: return "MSZIP";
    case GCAB_COMPRESSION_QUANTUM: return "QUANTUM";
    case GCAB_COMPRESSION_LZX: return "LZX";
    default: return "?";
  }
}

void CopyField(char* dst, size_t size, const std::string& src) {
  std::memset(dst, 0, size);
  std::memcpy(dst, src.data(), std::min(src.size(), size - 1));
}

// Attribute letters in fixed places: r(ead-only) h(idden) s(ystem) a(rchive).
std::string AttributeLetters(uint32_t attr) {
  std::string s = "----";
  if (attr & GCAB_FILE_ATTRIBUTE_RDONLY) s[0] = 'r';
  if (attr & GCAB_FILE_ATTRIBUTE_HIDDEN) s[1] = 'h';
  if (attr & GCAB_FILE_ATTRIBUTE_SYSTEM) s[2] = 's';
  if (attr & GCAB_FILE_ATTRIBUTE_ARCH) s[3] = 'a';
  return s;
}

// Loads the cabinet at `path`; the caller unrefs both objects.
int Load(const std::string& path, GCabCabinet** cabinet, GInputStream** stream) {
  *cabinet = nullptr;
  *stream = nullptr;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return ARC_ERROR_ARC_FILE_OPEN;
  GFile* file = g_file_new_for_path(path.c_str());
  GFileInputStream* in = g_file_read(file, nullptr, nullptr);
  g_object_unref(file);
  if (!in) return ARC_ERROR_ARC_FILE_OPEN;
  GCabCabinet* cab = gcab_cabinet_new();
  GError* err = nullptr;
  if (!gcab_cabinet_load(cab, G_INPUT_STREAM(in), nullptr, &err)) {
    g_clear_error(&err);
    g_object_unref(cab);
    g_object_unref(in);
    return ARC_ERROR_FILE_STYLE;
  }
  *cabinet = cab;
  *stream = G_INPUT_STREAM(in);
  return ARC_OK;
}

}  // namespace

int ReadMembers(const std::string& utf8Path, std::vector<Member>& members) {
  members.clear();
  GCabCabinet* cabinet;
  GInputStream* stream;
  const int rc = Load(utf8Path, &cabinet, &stream);
  if (rc != ARC_OK) return rc;

  // The folders' compressed data is the cabinet less its headers (36 bytes,
  // 8 per folder, 16 per file entry plus its name); without the per-folder
  // block sizes that data is shared out by unpacked size.
  struct stat st {};
  const uint64_t cabSize = ::stat(utf8Path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
  uint64_t totalUnpacked = 0;
  GPtrArray* folders = gcab_cabinet_get_folders(cabinet);
  uint64_t headers = 36 + 8 * uint64_t(folders->len);
  for (guint f = 0; f < folders->len; ++f) {
    GSList* files = gcab_folder_get_files(GCAB_FOLDER(g_ptr_array_index(folders, f)));
    for (GSList* l = files; l; l = l->next) {
      totalUnpacked += gcab_file_get_size(GCAB_FILE(l->data));
      const char* name = gcab_file_get_name(GCAB_FILE(l->data));
      headers += 17 + (name ? std::strlen(name) : 0);
    }
    g_slist_free(files);
  }
  const uint64_t packedData = cabSize > headers ? cabSize - headers : 0;

  for (guint f = 0; f < folders->len; ++f) {
    GCabFolder* folder = GCAB_FOLDER(g_ptr_array_index(folders, f));
    const char* method = MethodName(gcab_folder_get_comptype(folder));
    GSList* files = gcab_folder_get_files(folder);
    for (GSList* l = files; l; l = l->next) {
      GCabFile* file = GCAB_FILE(l->data);
      Member m;
      std::memset(&m.info, 0, sizeof m.info);
      const uint32_t size = gcab_file_get_size(file);
      const uint32_t attr = gcab_file_get_attributes(file);
      m.info.unpackedSize = size;
      m.info.packedSize =
          totalUnpacked == 0 ? 0 : static_cast<uint32_t>(static_cast<uint64_t>(size) * packedData / totalUnpacked);
      m.info.crc = 0;
      m.info.ratio = size == 0 ? 0
                               : static_cast<uint16_t>(std::min<uint64_t>(
                                     0xFFFF, static_cast<uint64_t>(m.info.packedSize) * 1000 / size));
      if (GDateTime* dt = gcab_file_get_date_time(file)) {
        // The fields as stored (local time of the packing machine).
        const int year = g_date_time_get_year(dt);
        m.info.date = static_cast<uint16_t>(((year < 1980 ? 0 : year - 1980) << 9) |
                                            (g_date_time_get_month(dt) << 5) | g_date_time_get_day_of_month(dt));
        m.info.time = static_cast<uint16_t>((g_date_time_get_hour(dt) << 11) | (g_date_time_get_minute(dt) << 5) |
                                            (g_date_time_get_second(dt) / 2));
        g_date_time_unref(dt);
      }
      const char* rawName = gcab_file_get_name(file);
      const std::string name = rawName ? rawName : "";
      const bool utf8 = (attr & GCAB_FILE_ATTRIBUTE_NAME_IS_UTF) != 0;
      CopyField(m.info.fileName, sizeof m.info.fileName, utf8 ? arc::DisplayCp932(name) : name);
      // Decoded before any "\\" is looked for: in code page 932 that byte
      // can be the second half of a character (ソ, 表).
      m.utf8Name = utf8 ? name : cp932::ToUtf8Lossy(name);
      CopyField(m.info.attribute, sizeof m.info.attribute, AttributeLetters(attr));
      CopyField(m.info.mode, sizeof m.info.mode, method);
      members.push_back(m);
    }
    g_slist_free(files);
  }
  g_object_unref(cabinet);
  g_object_unref(stream);
  return ARC_OK;
}

bool CheckCabinet(const std::string& utf8Path, bool fullCheck) {
  GCabCabinet* cabinet;
  GInputStream* stream;
  if (Load(utf8Path, &cabinet, &stream) != ARC_OK) return false;
  bool ok = true;
  if (fullCheck) {
    // Unpacking every member verifies the data blocks and their checksums;
    // the files go to a private directory that is removed afterwards.
    std::string tmpl = std::string(g_get_tmp_dir()) + "/cab32-check-XXXXXX";
    const char* dir = g_mkdtemp(tmpl.data());
    if (!dir) {
      ok = false;
    } else {
      GFile* out = g_file_new_for_path(dir);
      GError* err = nullptr;
      ok = gcab_cabinet_extract_simple(
          cabinet, out,
          [](GCabFile* file, gpointer) -> gboolean {
            // Flat, numbered names: member paths never leave the directory.
            static thread_local unsigned counter = 0;
            const std::string name = "m" + std::to_string(counter++);
            gcab_file_set_extract_name(file, name.c_str());
            return TRUE;
          },
          nullptr, nullptr, &err);
      g_clear_error(&err);
      g_object_unref(out);
      std::error_code ec;
      std::filesystem::remove_all(dir, ec);
    }
  }
  g_object_unref(cabinet);
  g_object_unref(stream);
  return ok;
}

}  // namespace cab

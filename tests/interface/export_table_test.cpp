// The dynamic symbol table of the built shared library must hold exactly the
// published entry points: no dependency symbol (dgetrf_, xerbla_, lsame_ ...)
// and no internal routine may leak, whatever the linker defaults are.
#include <elf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Every entry point of the library, in both conventions.
const std::set<std::string> kAllExports = {
    "VIZ_MA48ID", "VIZ_MA48AD", "VIZ_MA48BD", "VIZ_MA48CD",
    "VIZ_MC09AD", "VIZ_MC29AD", "VIZ_MC49AD", "VIZ_MC59AD",
    "VIZ_ZA38ID", "VIZ_ZA38AD", "VIZ_ZA38BD", "VIZ_ZA38CD",
    "VIZ_NB01AD", "VIZ_DI23ID", "VIZ_DI23AD", "VIZ_VF13AD",
    "BLAS_DGEMM", "BLAS_DSYRK",
    "Lapack_DGBTRF", "Lapack_DGBTRS", "Lapack_DGESDD", "Lapack_DGESV", "Lapack_DGETRF",
    "Lapack_DGETRS", "Lapack_DPOTRF", "Lapack_DPOTRS", "Lapack_DSYEV",
    "Linpack_DGEFA", "Linpack_DGESL",
    "Lmder_DPMPAR", "Lmder_ENORM", "Lmder_LMPAR", "Lmder_QRFAC",
    "CLapack_DGBTRF", "CLapack_DGBTRS", "CLapack_DGESDD", "CLapack_DGESV", "CLapack_DGETRF",
    "CLapack_DGETRS", "CLapack_DPOTRF", "CLapack_DPOTRS", "CLapack_DSYEV",
    "CLinpack_DGEFA", "CLinpack_DGESL",
    "VML_vdExp", "VML_vdInv",
    "_Z10VIZ_FFOPENPKciPi", "_Z11VIZ_FFCLOSEPi",
    "VUR_OPTBQA",
    "FFOPEN", "FFCLOSE", "DLAMCH",
    "MC09AD", "MC49AD", "MC59AD",
    "DI23ID", "DI23AD", "VF13AD", "VE17AD",
    "DGETRF", "DPOTRF", "DSYEV", "DPMPAR", "ENORM", "QRFAC", "LMPAR",
};

// Entry points whose package has not landed yet.  Each package removes its
// names here when it adds its exports; the list ends empty.
const std::set<std::string> kNotBuiltYet = {
};

struct DynamicInfo {
  std::set<std::string> defined;  // defined global or weak symbols
  std::string soname;
};

std::vector<char> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

template <class T>
const T& at(const std::vector<char>& img, std::size_t off) {
  if (off + sizeof(T) > img.size()) throw std::runtime_error("truncated ELF file");
  return *reinterpret_cast<const T*>(img.data() + off);
}

const char* str_at(const std::vector<char>& img, const Elf64_Shdr& strtab, std::size_t idx) {
  if (idx >= strtab.sh_size) throw std::runtime_error("string index out of range");
  return img.data() + strtab.sh_offset + idx;
}

// Reads .dynsym and the DT_SONAME entry of a 64-bit ELF shared object.
DynamicInfo read_dynamic(const std::string& path) {
  const std::vector<char> img = read_file(path);
  const auto& eh = at<Elf64_Ehdr>(img, 0);
  if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64)
    throw std::runtime_error(path + " is not a 64-bit ELF file");
  DynamicInfo out;
  for (unsigned s = 0; s < eh.e_shnum; ++s) {
    const auto& sh = at<Elf64_Shdr>(img, eh.e_shoff + s * sizeof(Elf64_Shdr));
    const auto& link = at<Elf64_Shdr>(img, eh.e_shoff + sh.sh_link * sizeof(Elf64_Shdr));
    if (sh.sh_type == SHT_DYNSYM) {
      for (std::size_t k = 1; k < sh.sh_size / sizeof(Elf64_Sym); ++k) {
        const auto& sym = at<Elf64_Sym>(img, sh.sh_offset + k * sizeof(Elf64_Sym));
        const unsigned bind = ELF64_ST_BIND(sym.st_info);
        if (sym.st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK)) continue;
        // The version definition appears as an absolute symbol; it is not
        // an entry point.
        if (sym.st_shndx == SHN_ABS && sym.st_value == 0 && ELF64_ST_TYPE(sym.st_info) == STT_OBJECT)
          continue;
        out.defined.insert(str_at(img, link, sym.st_name));
      }
    } else if (sh.sh_type == SHT_DYNAMIC) {
      for (std::size_t k = 0; k < sh.sh_size / sizeof(Elf64_Dyn); ++k) {
        const auto& d = at<Elf64_Dyn>(img, sh.sh_offset + k * sizeof(Elf64_Dyn));
        if (d.d_tag == DT_SONAME) out.soname = str_at(img, link, d.d_un.d_val);
      }
    }
  }
  return out;
}

std::string join(const std::vector<std::string>& v) {
  std::string s;
  for (const auto& x : v) s += (s.empty() ? "" : " ") + x;
  return s;
}

TEST(ExportTable, HoldsExactlyTheBuiltEntryPoints) {
  ASSERT_EQ(kAllExports.size(), 66u);
  for (const auto& n : kNotBuiltYet) EXPECT_TRUE(kAllExports.count(n)) << n << " is not an entry point";

  const DynamicInfo info = read_dynamic(TBL_SHARED_LIBRARY_PATH);
  std::vector<std::string> unexpected, missing, stale;
  for (const auto& n : info.defined)
    if (!kAllExports.count(n)) unexpected.push_back(n);
  for (const auto& n : kAllExports) {
    const bool exported = info.defined.count(n) != 0;
    const bool pending = kNotBuiltYet.count(n) != 0;
    if (!exported && !pending) missing.push_back(n);
    if (exported && pending) stale.push_back(n);
  }
  EXPECT_TRUE(unexpected.empty()) << "exported but not an entry point: " << join(unexpected);
  EXPECT_TRUE(missing.empty()) << "entry points missing from the library: " << join(missing);
  EXPECT_TRUE(stale.empty()) << "exported, so remove from kNotBuiltYet: " << join(stale);
}

TEST(ExportTable, SonameIsTheLibraryName) {
  EXPECT_EQ(read_dynamic(TBL_SHARED_LIBRARY_PATH).soname, "libTesselBasicLib.so");
}

}  // namespace

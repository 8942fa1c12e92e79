// The size of the dynamic symbol at an address, for C libraries without glibc's dladdr1
// (musl): read from the dynamic symbol table (.dynsym) in the file of the
// loaded object that holds the address, as a binding generator reads it.
// Every offset and count taken from the file is checked against its size.
#pragma once

#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace dynsym {

inline std::optional<std::size_t> size_of(const void* address) {
    Dl_info info{};
    if (address == nullptr || dladdr(address, &info) == 0 || info.dli_fname == nullptr || info.dli_sname == nullptr)
        return std::nullopt;
    if (info.dli_saddr != address) return std::nullopt;  // inside a symbol, not at one
    std::ifstream in(info.dli_fname, std::ios::binary);
    const std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto within = [&](std::size_t offset, std::size_t length) {
        return offset <= file.size() && length <= file.size() - offset;
    };
    ElfW(Ehdr) eh;
    if (!within(0, sizeof eh)) return std::nullopt;
    std::memcpy(&eh, file.data(), sizeof eh);
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_shentsize != sizeof(ElfW(Shdr)) ||
        !within(eh.e_shoff, std::size_t{eh.e_shnum} * sizeof(ElfW(Shdr))))
        return std::nullopt;
    const auto section = [&](std::size_t i) {
        ElfW(Shdr) sh;
        std::memcpy(&sh, file.data() + eh.e_shoff + i * sizeof sh, sizeof sh);
        return sh;
    };
    const auto relative = static_cast<std::size_t>(static_cast<const char*>(info.dli_saddr) -
                                                   static_cast<const char*>(info.dli_fbase));
    for (std::size_t i = 0; i < eh.e_shnum; ++i) {
        const ElfW(Shdr) symtab = section(i);
        if (symtab.sh_type != SHT_DYNSYM || symtab.sh_link >= eh.e_shnum || !within(symtab.sh_offset, symtab.sh_size))
            continue;
        const ElfW(Shdr) strtab = section(symtab.sh_link);
        if (!within(strtab.sh_offset, strtab.sh_size)) return std::nullopt;
        for (std::size_t k = 0; k + 1 <= symtab.sh_size / sizeof(ElfW(Sym)); ++k) {
            ElfW(Sym) sym;
            std::memcpy(&sym, file.data() + symtab.sh_offset + k * sizeof sym, sizeof sym);
            if (sym.st_name >= strtab.sh_size || sym.st_value != relative) continue;
            const char* name = file.data() + strtab.sh_offset + sym.st_name;
            const std::size_t room = strtab.sh_size - sym.st_name;
            if (strnlen(name, room) < room && std::strcmp(name, info.dli_sname) == 0) return sym.st_size;
        }
    }
    return std::nullopt;
}

}  // namespace dynsym

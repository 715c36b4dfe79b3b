// Archives over memory for the tests: the bytes a store writes, and a loading archive over given bytes.
#pragma once

#include <cstdlib>
#include <utility>

#include "TestFiles.h"
#include "platform/Archive.h"

// Runs store against a memory archive and returns the bytes written.
template <class Store>
Bytes Stored(Store store) {
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    store(ar);
    ar.Close();
    const auto length = static_cast<size_t>(file.GetLength());
    BYTE* data = file.Detach();
    Bytes bytes(data, data + length);
    std::free(data);
    return bytes;
}

// A loading archive over a copy of bytes.
struct Loader {
    explicit Loader(Bytes source)
        : bytes(std::move(source)), file(bytes.data(), static_cast<UINT>(bytes.size())) {}
    Bytes bytes;
    CMemFile file;
    CArchive ar{&file, CArchive::load};
};

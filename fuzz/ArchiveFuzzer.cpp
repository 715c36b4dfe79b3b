// Arbitrary bytes as an archive: loaded as an object graph of two classes, and read as a stream of
// numbers, counts, strings and objects chosen by the bytes themselves. Refusals are archive exceptions;
// anything else (a crash, a leak, a huge allocation, another exception) is a fault. A graph that loads is
// written back and must load again into the same bytes.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "FuzzSupport.h"
#include "platform/Archive.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class FuzzLeaf : public CObject {
    DECLARE_SERIAL(FuzzLeaf)
  public:
    CString text;
    double number = 0;
    void Serialize(CArchive& ar) override {
        if (ar.IsStoring())
            ar << text << number;
        else
            ar >> text >> number;
    }
};
IMPLEMENT_SERIAL(FuzzLeaf, CObject, 1)

// Owns its children; its link points at an object that something else owns.
class FuzzNode : public CObject {
    DECLARE_SERIAL(FuzzNode)
  public:
    std::vector<std::unique_ptr<CObject>> children;
    CObject* link = nullptr;
    void Serialize(CArchive& ar) override {
        if (ar.IsStoring()) {
            ar.WriteCount(children.size());
            for (const auto& child : children) ar.WriteObject(child.get());
            ar.WriteObject(link);
        } else {
            const ULONGLONG count = ar.ReadCount(2);
            for (ULONGLONG i = 0; i < count; ++i) children.push_back(ar.ReadOwnedObject(nullptr));
            link = ar.ReadObjectReference(nullptr);
        }
    }
};
IMPLEMENT_SERIAL(FuzzNode, CObject, 2)

Bytes Store(const CObject& object) {
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    ar.WriteObject(&object);
    ar.Close();
    const auto length = static_cast<size_t>(file.GetLength());
    BYTE* data = file.Detach();
    Bytes bytes(data, data + length);
    std::free(data);
    return bytes;
}

std::unique_ptr<CObject> LoadGraph(const Bytes& bytes, const CRuntimeClass* requested) {
    Bytes copy = bytes;
    CMemFile file(copy.data(), static_cast<UINT>(copy.size()));
    CArchive ar(&file, CArchive::load);
    return ar.ReadOwnedObject(requested);
}

template <class T>
void ReadOne(CArchive& ar) {
    T value{};
    ar >> value;
}

// Reads what the bytes ask for until they run out or are refused.
void ReadStream(const std::uint8_t* data, std::size_t size) {
    Bytes copy(data, data + size);
    CMemFile file(copy.data(), static_cast<UINT>(copy.size()));
    CArchive ar(&file, CArchive::load);
    std::vector<std::unique_ptr<CObject>> owned;
    for (;;) {
        BYTE op = 0;
        ar >> op;
        switch (op % 13) {
            case 0:
                ReadOne<BYTE>(ar);
                break;
            case 1:
                ReadOne<WORD>(ar);
                break;
            case 2:
                ReadOne<std::int16_t>(ar);
                break;
            case 3:
                ReadOne<LONG>(ar);
                break;
            case 4:
                ReadOne<DWORD>(ar);
                break;
            case 5:
                ReadOne<LONGLONG>(ar);
                break;
            case 6:
                ReadOne<ULONGLONG>(ar);
                break;
            case 7:
                ReadOne<float>(ar);
                break;
            case 8:
                ReadOne<double>(ar);
                break;
            case 9:
                (void)ar.ReadCount(op & 0x80 ? 0 : 1);
                break;
            case 10:
                (void)ar.ReadString();
                break;
            case 11:
                owned.push_back(ar.ReadOwnedObject(op & 0x80 ? RUNTIME_CLASS(FuzzNode) : nullptr));
                break;
            case 12:
                (void)ar.ReadObjectReference(nullptr);
                break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 20)) return 0;
    const Bytes bytes(data, data + size);
    try {
        const std::unique_ptr<CObject> graph = LoadGraph(bytes, nullptr);
        if (graph) {
            const Bytes written = Store(*graph);
            const std::unique_ptr<CObject> again = LoadGraph(written, graph->GetRuntimeClass());
            if (!again || Store(*again) != written)
                FuzzFail("a graph read back differs from the one written");
        }
    } catch (const CArchiveException&) {
    }
    try {
        ReadStream(data, size);
    } catch (const CArchiveException&) {
    }
    return 0;
}

// Arbitrary text as an XML document holding a media record and a collection of records. Loading takes
// what converts and leaves the rest; whatever loads must store and load again into the same values.

#include <cstdint>
#include <string_view>

#include "FuzzSupport.h"
#include "libraries/KivModuleRC.h"
#include "media/ClipMediaFileCollection.h"
#include "media/ClipMediaObj.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CKivXMLDOMDocObj in;
    if (!in.LoadFromText(CString::FromUtf8(std::string_view(reinterpret_cast<const char*>(data), size))))
        return 0;

    CKivClipMediaObj record;
    record.SerializeXML(&in, in.GetRootNode());
    CKivClipMediaFileCollection collection;
    collection.SerializeXML(&in, in.GetRootNode());

    CKivXMLDOMDocObj out;
    record.SerializeXML(&out, out.GetRootNode());
    collection.SerializeXML(&out, out.GetRootNode());
    CKivXMLDOMDocObj back;
    if (!back.LoadFromText(out.SaveToText())) FuzzFail("stored XML does not parse");
    CKivClipMediaObj record2;
    record2.SerializeXML(&back, back.GetRootNode());
    if (!SameMediaRecord(record, record2)) FuzzFail("a record changed on the way through XML");
    CKivClipMediaFileCollection collection2;
    collection2.SerializeXML(&back, back.GetRootNode());
    if (!SameMediaList(collection.m_MediaList, collection2.m_MediaList))
        FuzzFail("records changed through XML");
    return 0;
}

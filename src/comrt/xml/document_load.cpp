// Loading into and saving from the document object, and the parse error
// object that reports how the last load went.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>

#include "comrt/safearray.h"
#include "comrt/stream.h"
#include "comrt/text_conversion.h"
#include "xml/dom_document.h"
#include "xml/node_checks.h"
#include "xml/node_names.h"
#include "xml/safe_parser.h"
#include "xml/serializer.h"
#include "xml/stream_reader.h"
#include "xml/tree_edit.h"
#include "xml/tree_walk.h"
#include "xml/xml_text.h"

namespace comrt {
namespace xml {
namespace {

constexpr size_t kChunkBytes = 64 * 1024;

class ParseErrorObject : public ObjectRoot<ParseErrorObject, IXMLDOMParseError> {
 public:
  void Init(const ParseError& error) { error_ = error; }

  COMRT_XML_NO_DISPATCH

  HRESULT STDMETHODCALLTYPE get_errorCode(LONG* code) override { return Number(error_.code, code); }
  HRESULT STDMETHODCALLTYPE get_url(BSTR* url) override { return HandOut(error_.url, url); }
  HRESULT STDMETHODCALLTYPE get_reason(BSTR* reason) override { return HandOut(error_.reason, reason); }
  HRESULT STDMETHODCALLTYPE get_srcText(BSTR* text) override { return HandOut(std::u16string_view(), text); }
  HRESULT STDMETHODCALLTYPE get_line(LONG* line) override { return Number(error_.line, line); }
  HRESULT STDMETHODCALLTYPE get_linepos(LONG* position) override { return Number(error_.linepos, position); }
  HRESULT STDMETHODCALLTYPE get_filepos(LONG* position) override { return Number(error_.filepos, position); }

 private:
  static HRESULT Number(LONG value, LONG* out) {
    if (!out) return E_INVALIDARG;
    *out = value;
    return S_OK;
  }

  ParseError error_;
};

struct FileClose {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileClose>;

HRESULT FromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    case EACCES:
    case EPERM:
    case EISDIR:
      return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    case ENOSPC:
      return STG_E_MEDIUMFULL;
    case ENOMEM:
      return E_OUTOFMEMORY;
    default:
      return E_FAIL;
  }
}

// The stream behind a VT_UNKNOWN or VT_DISPATCH value, null for other values
// or objects that are not streams.
CComPtr<ISequentialStream> StreamOf(const VARIANT& value) {
  IUnknown* object = nullptr;
  if (value.vt == VT_UNKNOWN) object = value.punkVal;
  if (value.vt == VT_DISPATCH) object = value.pdispVal;
  CComPtr<ISequentialStream> stream;
  if (!object) return stream;
  CComPtr<IStream> full;
  if (SUCCEEDED(object->QueryInterface(IID_IStream, reinterpret_cast<void**>(&full))) && full) {
    stream = full;
  } else {
    object->QueryInterface(IID_ISequentialStream, reinterpret_cast<void**>(&stream));
  }
  return stream;
}

// The local path a load or save names: a plain path or a file: URL.
// E_ACCESSDENIED for any other URL, since nothing is fetched from a network.
HRESULT LocalPath(BSTR source, std::string* path) {
  *path = ToUtf8(source);
  if (path->compare(0, 7, "file://") == 0) {
    path->erase(0, 7);
  } else if (path->find("://") != std::string::npos) {
    return E_ACCESSDENIED;
  }
  return path->empty() ? E_INVALIDARG : S_OK;
}

HRESULT WriteAll(ISequentialStream* stream, const std::string& bytes) {
  size_t at = 0;
  while (at < bytes.size()) {
    const ULONG part = static_cast<ULONG>(std::min<size_t>(bytes.size() - at, kChunkBytes));
    ULONG written = 0;
    const HRESULT hr = stream->Write(bytes.data() + at, part, &written);
    if (FAILED(hr)) return hr;
    if (written == 0) return STG_E_MEDIUMFULL;
    at += written;
  }
  return S_OK;
}

}  // namespace

void DomDocument::ClearContent() { core_->RemoveAllChildren(core_->DocNode()); }

HRESULT DomDocument::AdoptContent(ParseOutcome& outcome) {
  xmlDocPtr target = core_->Doc();
  xmlNodePtr document = core_->DocNode();
  if (outcome.hasDeclaration) {
    xmlNodePtr declaration = xmlNewDocPI(target, X(std::string("xml")), X(outcome.declaration));
    if (!declaration) return E_OUTOFMEMORY;
    if (!IsWhole(declaration) || !declaration->content) {
      xmlFreeNode(declaration);
      return E_OUTOFMEMORY;
    }
    LinkChild(document, declaration, nullptr);
  }
  xmlDocPtr parsed = outcome.doc.get();
  // The parsed tree moves over as it is, in one pass: both documents keep
  // their strings outside any dictionary (the parser runs without one), so
  // only each node's document and the references to the parsed document's
  // own declarations (the xml: namespace) change. libxml2's general adoption
  // looks every namespace up again and costs time quadratic in their number.
  xmlNsPtr xmlNamespace = nullptr;
  if (parsed->oldNs) {
    xmlNamespace = xmlSearchNs(target, document, X(std::string("xml")));
    if (!xmlNamespace) return E_OUTOFMEMORY;
  }
  auto rebind = [parsed, xmlNamespace](xmlNsPtr ns) {
    for (xmlNsPtr own = parsed->oldNs; own; own = own->next) {
      if (ns == own) return xmlNamespace;
    }
    return ns;
  };
  xmlNodePtr top = reinterpret_cast<xmlNodePtr>(parsed);
  for (xmlNodePtr at = FirstInSubtree(top); at; at = NextInSubtree(at, top)) {
    at->doc = target;
    if (at->type != XML_ELEMENT_NODE) continue;
    if (at->ns) at->ns = rebind(at->ns);
    for (xmlAttrPtr attribute = at->properties; attribute; attribute = attribute->next) {
      attribute->doc = target;
      if (attribute->ns) attribute->ns = rebind(attribute->ns);
      for (xmlNodePtr text = attribute->children; text; text = text->next) text->doc = target;
    }
  }
  while (xmlNodePtr child = parsed->children) {
    xmlUnlinkNode(child);
    LinkChild(document, child, nullptr);
  }
  return S_OK;
}

HRESULT DomDocument::FinishLoad(ParseOutcome outcome, VARIANT_BOOL* isSuccessful) {
  ClearContent();
  bool loaded = outcome.doc != nullptr;
  if (loaded && FAILED(AdoptContent(outcome))) {
    ClearContent();
    outcome.error.code = static_cast<LONG>(E_OUTOFMEMORY);
    outcome.error.reason = u"Out of memory.";
    loaded = false;
  }
  core_->Changed();
  outcome.error.url = url_;
  lastError_ = outcome.error;
  if (!loaded && !lastError_.reason.empty()) Fail(S_FALSE, lastError_.reason);
  if (isSuccessful) *isSuccessful = loaded ? VARIANT_TRUE : VARIANT_FALSE;
  return loaded ? S_OK : S_FALSE;
}

HRESULT DomDocument::LoadFromFile(BSTR source, ParseOutcome* outcome) {
  std::string path;
  const HRESULT pathResult = LocalPath(source, &path);
  SafeParser parser(ParseOptions{preserveWhiteSpace_, false});
  if (FAILED(pathResult)) {
    parser.FailSource(pathResult == E_ACCESSDENIED ? kRemoteSource : pathResult,
                      pathResult == E_ACCESSDENIED ? u"Only local files can be loaded." : u"No file was named.");
    *outcome = parser.Finish();
    return S_OK;
  }
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    const HRESULT code = FromErrno(errno);
    parser.FailSource(code, code == E_OUTOFMEMORY ? u"Out of memory." : u"The file could not be opened.");
  } else {
    ReadBuffer buffer;
    for (;;) {
      const size_t read = std::fread(buffer.data(), 1, buffer.size(), file.get());
      // A short read ends the file, unless it failed.
      const bool last = read < buffer.size() && !std::ferror(file.get());
      if (read > 0 && !parser.Feed(buffer.data(), read, last)) break;
      if (read < buffer.size()) {
        if (std::ferror(file.get())) parser.FailSource(FromErrno(errno), u"The file could not be read.");
        break;
      }
    }
  }
  *outcome = parser.Finish();
  return S_OK;
}

HRESULT DomDocument::load(VARIANT source, VARIANT_BOOL* isSuccessful) {
  if (isSuccessful) *isSuccessful = VARIANT_FALSE;
  const VARIANT* value = &source;
  if (source.vt == (VT_BYREF | VT_VARIANT) && source.pvarVal) value = source.pvarVal;
  try {
    ParseOutcome outcome;
    std::u16string url;
    if (value->vt == VT_BSTR) {
      url.assign(value->bstrVal ? value->bstrVal : u"", SysStringLen(value->bstrVal));
      LoadFromFile(value->bstrVal, &outcome);
    } else if (value->vt == (VT_ARRAY | VT_UI1)) {
      SAFEARRAY* array = value->parray;
      void* data = nullptr;
      if (!array || SafeArrayGetDim(array) != 1 || FAILED(SafeArrayAccessData(array, &data))) return E_INVALIDARG;
      SafeParser parser(ParseOptions{preserveWhiteSpace_, false});
      parser.Feed(static_cast<const char*>(data), array->rgsabound[0].cElements, true);
      SafeArrayUnaccessData(array);
      outcome = parser.Finish();
    } else {
      CComPtr<ISequentialStream> stream = StreamOf(*value);
      if (!stream) return Fail(E_INVALIDARG, u"load takes a file path, a stream or an array of bytes.");
      SafeParser parser(ParseOptions{preserveWhiteSpace_, false});
      ReadStream(stream, parser);
      outcome = parser.Finish();
    }
    url_.swap(url);
    return FinishLoad(std::move(outcome), isSuccessful);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT DomDocument::loadXML(BSTR xml, VARIANT_BOOL* isSuccessful) {
  if (isSuccessful) *isSuccessful = VARIANT_FALSE;
  try {
    SafeParser parser(ParseOptions{preserveWhiteSpace_, true});
    // Converted and parsed a piece at a time, so that text which fails early
    // is not converted whole first.
    constexpr size_t kUnits = 32 * 1024;
    const std::u16string_view text(xml ? xml : u"", SysStringLen(xml));
    for (size_t at = 0; at < text.size();) {
      size_t end = std::min(text.size(), at + kUnits);
      if (end < text.size() && text[end - 1] >= 0xD800 && text[end - 1] <= 0xDBFF) --end;  // keep pairs whole
      const std::string bytes = comrt::ToUtf8(text.substr(at, end - at));
      if (!parser.Feed(bytes.data(), bytes.size(), end == text.size())) break;
      at = end;
    }
    ParseOutcome outcome = parser.Finish();
    url_.clear();
    return FinishLoad(std::move(outcome), isSuccessful);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT DomDocument::save(VARIANT destination) {
  const VARIANT* value = &destination;
  if (destination.vt == (VT_BYREF | VT_VARIANT) && destination.pvarVal) value = destination.pvarVal;
  try {
    std::string bytes;
    HRESULT hr = Serialize(ref, SerializeFor::kSave, &bytes);
    if (FAILED(hr)) return hr;
    if (value->vt == VT_BSTR) {
      std::string path;
      hr = LocalPath(value->bstrVal, &path);
      if (FAILED(hr)) return Fail(E_INVALIDARG, u"save takes a local file path or a stream.");
      File file(std::fopen(path.c_str(), "wb"));
      if (!file) return Fail(FromErrno(errno), u"The file could not be opened for writing.");
      if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
        return Fail(FromErrno(errno), u"The file could not be written.");
      }
      if (std::fclose(file.release()) != 0) return Fail(FromErrno(errno), u"The file could not be written.");
      return S_OK;
    }
    CComPtr<ISequentialStream> stream = StreamOf(*value);
    if (!stream) return Fail(E_INVALIDARG, u"save takes a local file path or a stream.");
    return WriteAll(stream, bytes);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT DomDocument::get_parseError(IXMLDOMParseError** error) {
  if (!error) return E_INVALIDARG;
  *error = nullptr;
  CComObject<ParseErrorObject>* object = nullptr;
  HRESULT hr = CComObject<ParseErrorObject>::CreateInstance(&object);
  if (FAILED(hr)) return hr;
  CComPtr<IXMLDOMParseError> hold(object);
  try {
    object->Init(lastError_);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  *error = hold.Detach();
  return S_OK;
}

HRESULT DomDocument::get_url(BSTR* url) {
  if (!url) return E_INVALIDARG;
  *url = nullptr;
  if (url_.empty()) return S_FALSE;
  return HandOut(url_, url);
}

}  // namespace xml
}  // namespace comrt

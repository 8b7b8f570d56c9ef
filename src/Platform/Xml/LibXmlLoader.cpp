// The bounded loader: libxml2 reads a policy file or a DTD through an entity
// loader of its own and a tree builder wrapped with the bounds, and every
// problem it reports is collected for the caller.
#include "Platform/Xml/LibXmlLoader.h"

#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/uri.h>
#include <libxml/valid.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "Platform/Text.h"
#include "Platform/Xml/LibXmlParser.h"

namespace {

constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_DTDLOAD | XML_PARSE_DTDATTR |
                              XML_PARSE_DTDVALID | XML_PARSE_NOENT | XML_PARSE_NOBLANKS |
                              XML_PARSE_BIG_LINES;

// The bounds on the work one load may cause, so that a file of any content
// costs a few tens of megabytes at most or is refused. libxml2 expands entity
// references in attribute values and copies DTD default attributes into
// every element without a bound of its own.
constexpr long long kMaxFileBytes = kXmlMaxFileBytes;
constexpr long long kMaxLoadBytes = 4 * kXmlMaxFileBytes;
constexpr long long kMaxParameterEntityText = kXmlMaxFileBytes;
constexpr long long kMaxAttributeText = kXmlMaxFileBytes;
constexpr long long kMaxAttributes = 65536;
// The code of a parse error that a bound caused: the parse was stopped.
constexpr long kBoundExceeded = XML_ERR_USER_STOP;
// Problems listed for one load; a broken file can cause thousands.
constexpr std::size_t kMaxProblems = 100;

// What one load found wrong, collected from libxml2's error reports, from the
// entity loader and from the bounds above. The first problem is the cause;
// every one is kept so that a tool can list them all.
struct _tagSLoadState {
  xmlParserCtxtPtr context = nullptr;
  std::vector<XmlProblem> problems;
  // Display paths of the inputs, by the escaped name libxml2 reports.
  std::unordered_map<std::string, std::string> paths;
  long long bytesRead = 0;
  long long parameterEntityText = 0;
  long long attributeText = 0;
  long long attributes = 0;
  // The handlers of libxml2's tree builder that the bounds wrap.
  entityDeclSAXFunc entityDecl = nullptr;
  getParameterEntitySAXFunc getParameterEntity = nullptr;
  startElementNsSAX2Func startElementNs = nullptr;
  // Where the elements made are listed; null when nobody asked.
  std::vector<LibXmlElementMade>* elements = nullptr;

  bool Failed() const { return !problems.empty(); }

  void Record(long errorCode, std::string text, const char* errorFile, long errorLine) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
      text.pop_back();
    }
    XmlProblem problem;
    problem.code = errorCode;
    problem.reason = FromUtf8(text);
    std::string file = errorFile != nullptr ? errorFile : "";
    const auto known = paths.find(file);
    if (known != paths.end()) {
      file = known->second;
    }
    problem.file = FromUtf8(file);
    problem.line = errorLine;
    // The same report twice (libxml2 repeats some) says nothing new.
    if (!problems.empty() && problems.back().code == problem.code &&
        problems.back().reason == problem.reason && problems.back().line == problem.line &&
        problems.back().file == problem.file) {
      return;
    }
    if (problems.size() == kMaxProblems) {
      XmlProblem more;
      more.code = problem.code;
      more.reason = L"more problems follow; they are not listed";
      problems.push_back(std::move(more));
    }
    if (problems.size() > kMaxProblems) {
      return;
    }
    problems.push_back(std::move(problem));
  }

  // Records a refusal at the parser's current place and stops the parse.
  void Refuse(xmlParserCtxtPtr parser, long errorCode, const std::string& text) {
    const xmlParserInputPtr input = parser != nullptr ? parser->input : nullptr;
    Record(errorCode, text, input != nullptr ? input->filename : nullptr,
           input != nullptr ? input->line : 0);
    if (parser != nullptr) {
      xmlStopParser(parser);
    }
  }
};

// The load in progress on this thread; the entity loader and the bounds act
// only for it.
thread_local _tagSLoadState* tCurrentLoad = nullptr;
xmlExternalEntityLoader gPreviousLoader = nullptr;

void OnError(void* userData, xmlErrorPtr error) {
  auto* state = static_cast<_tagSLoadState*>(userData);
  if (state == nullptr || error == nullptr || error->level < XML_ERR_ERROR) {
    return;
  }
  // Validating a document that declares no DTD is not asked for: such a file
  // is only required to be well-formed.
  if (error->code == XML_DTD_NO_DTD) {
    return;
  }
  state->Record(error->code, error->message != nullptr ? error->message : "unknown error",
                error->file, error->line);
}

bool HasScheme(const std::string& url, std::string& scheme) {
  std::size_t i = 0;
  while (i < url.size() && (std::isalnum(static_cast<unsigned char>(url[i])) != 0 ||
                            url[i] == '+' || url[i] == '-' || url[i] == '.')) {
    ++i;
  }
  if (i < 2 || i >= url.size() || url[i] != ':' ||
      std::isalpha(static_cast<unsigned char>(url[0])) == 0) {
    // One letter before ':' would be a drive, and no scheme at all is a path.
    return false;
  }
  scheme = url.substr(0, i);
  for (char& c : scheme) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return true;
}

// The local path a URL names, or false when it names anything but a local
// file (another scheme, another host).
bool LocalPath(const std::string& url, std::string& path) {
  std::string scheme;
  if (!HasScheme(url, scheme)) {
    path = url;
    return true;
  }
  if (scheme != "file") {
    return false;
  }
  std::string rest = url.substr(5);
  if (rest.rfind("//", 0) == 0) {
    rest.erase(0, 2);
    if (rest.rfind("localhost/", 0) == 0) {
      rest.erase(0, 9);
    } else if (rest.empty() || rest[0] != '/') {
      return false;  // file://otherhost/...
    }
  }
  char* unescaped = xmlURIUnescapeString(rest.c_str(), 0, nullptr);
  if (unescaped == nullptr) {
    return false;
  }
  path = unescaped;
  xmlFree(unescaped);
  return !path.empty();
}

// Opens the local regular file a URL names, read-only. Inputs are named by
// their path escaped as a URI reference (see LoadLocalFile), so a name that
// does not open as it stands is tried unescaped. Returns -1 with a reason
// when there is no such file or it is not a regular file (a device, a FIFO,
// a folder): those could make a load read forever or wait.
int OpenLocalFile(const std::string& url, std::string& path, std::string& reason) {
  if (!LocalPath(url, path)) {
    reason = "refused to load \"" + url + "\": only local files are read";
    return -1;
  }
  // Non-blocking, so that opening a FIFO cannot wait for a writer.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  int openError = fd < 0 ? errno : 0;
  if (fd < 0 && openError == ENOENT && path.find('%') != std::string::npos) {
    char* unescaped = xmlURIUnescapeString(path.c_str(), 0, nullptr);
    if (unescaped != nullptr) {
      const std::string plain = unescaped;
      xmlFree(unescaped);
      fd = ::open(plain.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
      if (fd >= 0) {
        path = plain;
      }
      openError = fd < 0 ? errno : 0;
    }
  }
  if (fd < 0) {
    reason = "cannot read \"" + path + "\": " + std::strerror(openError);
    return -1;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    reason = "cannot read \"" + path + "\": not a regular file";
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

// A file read as parser input, refused when it grows past its bound while
// it is read (its size was checked when it was opened).
struct CBoundedFile {
  int fd;
  long long left;
  std::string path;
};

int ReadBounded(void* context, char* buffer, int length) {
  auto* file = static_cast<CBoundedFile*>(context);
  ssize_t got = -1;
  do {
    got = ::read(file->fd, buffer, static_cast<std::size_t>(length));
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    return -1;
  }
  file->left -= got;
  if (file->left < 0) {
    if (tCurrentLoad != nullptr) {
      tCurrentLoad->Record(kBoundExceeded,
                           "refused to read \"" + file->path + "\" on: it holds more than the " +
                               std::to_string(kMaxFileBytes) +
                               " bytes a policy file or its DTD may hold",
                           nullptr, 0);
    }
    return -1;
  }
  return static_cast<int>(got);
}

int CloseBounded(void* context) {
  auto* file = static_cast<CBoundedFile*>(context);
  ::close(file->fd);
  delete file;
  return 0;
}

// Opens a local regular file as parser input; anything else is refused and
// recorded as the load's error.
xmlParserInputPtr LoadLocalFile(const char* url, const char* id, xmlParserCtxtPtr context) {
  // External entities are parsed in contexts of their own, created on this
  // thread while the load runs: every request made meanwhile is the load's.
  _tagSLoadState* state = tCurrentLoad;
  if (state == nullptr) {
    return gPreviousLoader != nullptr ? gPreviousLoader(url, id, context) : nullptr;
  }
  if (url == nullptr) {
    state->Record(XML_IO_NETWORK_ATTEMPT,
                  "refused to load \"" + std::string(id != nullptr ? id : "") +
                      "\": only local files are read",
                  nullptr, 0);
    return nullptr;
  }
  std::string path;
  std::string reason;
  const int fd = OpenLocalFile(url, path, reason);
  if (fd < 0) {
    std::string scheme;
    state->Record(HasScheme(url, scheme) ? XML_IO_NETWORK_ATTEMPT : XML_IO_LOAD_ERROR, reason,
                  nullptr, 0);
    return nullptr;
  }
  struct stat info {};
  const long long size = ::fstat(fd, &info) == 0 ? static_cast<long long>(info.st_size) : 0;
  if (size > kMaxFileBytes) {
    ::close(fd);
    state->Refuse(context, kBoundExceeded,
                  "refused to load \"" + path + "\": it holds " + std::to_string(size) +
                      " bytes, more than the " + std::to_string(kMaxFileBytes) +
                      " a policy file or its DTD may hold");
    return nullptr;
  }
  state->bytesRead += size;
  if (state->bytesRead > kMaxLoadBytes) {
    ::close(fd);
    state->Refuse(context, kBoundExceeded,
                  "refused to load \"" + path + "\": the files read for this load hold more than " +
                      std::to_string(kMaxLoadBytes) + " bytes");
    return nullptr;
  }
  // Owned by the input buffer from here on, which closes it through
  // CloseBounded (also when the buffer cannot be made).
  auto* bounded = new CBoundedFile{fd, kMaxFileBytes, path};
  xmlParserInputBufferPtr buffer =
      xmlParserInputBufferCreateIO(ReadBounded, CloseBounded, bounded, XML_CHAR_ENCODING_NONE);
  if (buffer == nullptr) {
    state->Record(XML_ERR_NO_MEMORY, "out of memory reading \"" + path + "\"", nullptr, 0);
    return nullptr;
  }
  xmlParserInputPtr input = xmlNewIOInputStream(context, buffer, XML_CHAR_ENCODING_NONE);
  if (input == nullptr) {
    xmlFreeParserInputBuffer(buffer);  // closes the file
    state->Record(XML_ERR_NO_MEMORY, "out of memory reading \"" + path + "\"", nullptr, 0);
    return nullptr;
  }
  // Name the input after the file so that relative references inside it
  // resolve against its folder and errors name it. The name is the path
  // escaped as a URI reference: libxml2 resolves references only against a
  // valid one (a folder name with a blank is not), and the loader unescapes.
  input->filename = reinterpret_cast<char*>(xmlURIEscapeStr(BAD_CAST path.c_str(), BAD_CAST "/"));
  if (input->filename != nullptr) {
    state->paths[input->filename] = path;
  }
  char* directory = xmlParserGetDirectory(path.c_str());
  input->directory = directory;
  if (context->directory == nullptr && directory != nullptr) {
    context->directory = reinterpret_cast<char*>(xmlStrdup(BAD_CAST directory));
  }
  return input;
}

// The bounds, applied where libxml2's tree builder is handed each
// declaration and element.

void RefuseEntityDeclaration(void* parser, const xmlChar* name) {
  _tagSLoadState* state = tCurrentLoad;
  if (state == nullptr) {
    return;
  }
  state->Refuse(static_cast<xmlParserCtxtPtr>(parser), kBoundExceeded,
                "the general entity \"" +
                    std::string(name != nullptr ? reinterpret_cast<const char*>(name) : "") +
                    "\" is declared; a policy file and its DTD may not declare general entities");
}

void OnEntityDecl(void* parser, const xmlChar* name, int type, const xmlChar* publicId,
                  const xmlChar* systemId, xmlChar* content) {
  _tagSLoadState* state = tCurrentLoad;
  if (state == nullptr) {
    return;
  }
  if (type != XML_INTERNAL_PARAMETER_ENTITY && type != XML_EXTERNAL_PARAMETER_ENTITY) {
    RefuseEntityDeclaration(parser, name);
    return;
  }
  if (state->entityDecl == nullptr) {
    return;
  }
  state->entityDecl(parser, name, type, publicId, systemId, content);
}

void OnUnparsedEntityDecl(void* parser, const xmlChar* name, const xmlChar* /*publicId*/,
                          const xmlChar* /*systemId*/, const xmlChar* /*notation*/) {
  RefuseEntityDeclaration(parser, name);
}

// Each reference to a parameter entity adds its text to the load's work.
xmlEntityPtr OnGetParameterEntity(void* parser, const xmlChar* name) {
  _tagSLoadState* state = tCurrentLoad;
  if (state == nullptr || state->getParameterEntity == nullptr) {
    return nullptr;
  }
  xmlEntityPtr entity = state->getParameterEntity(parser, name);
  if (entity != nullptr && entity->etype == XML_INTERNAL_PARAMETER_ENTITY) {
    state->parameterEntityText += entity->length;
    if (state->parameterEntityText > kMaxParameterEntityText) {
      state->Refuse(static_cast<xmlParserCtxtPtr>(parser), kBoundExceeded,
                    "the parameter entity references expand to more than " +
                        std::to_string(kMaxParameterEntityText) + " characters");
      return nullptr;
    }
  }
  return entity;
}

// Counts every attribute of an element, the DTD's defaults included, before
// the tree builder copies them.
void OnStartElementNs(void* parser, const xmlChar* localname, const xmlChar* prefix,
                      const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                      int attributeCount, int defaultedCount, const xmlChar** attributes) {
  _tagSLoadState* state = tCurrentLoad;
  if (state == nullptr || state->startElementNs == nullptr) {
    return;
  }
  state->attributes += attributeCount;
  for (int k = 0; k < attributeCount; ++k) {
    // Each attribute is (local name, prefix, URI, value start, value end).
    state->attributeText += attributes[5 * k + 4] - attributes[5 * k + 3];
  }
  if (state->attributes > kMaxAttributes) {
    state->Refuse(static_cast<xmlParserCtxtPtr>(parser), kBoundExceeded,
                  "the file's elements hold more than " + std::to_string(kMaxAttributes) +
                      " attributes, DTD defaults included");
    return;
  }
  if (state->attributeText > kMaxAttributeText) {
    state->Refuse(static_cast<xmlParserCtxtPtr>(parser), kBoundExceeded,
                  "the file's attribute values, DTD defaults included, hold more than " +
                      std::to_string(kMaxAttributeText) + " characters");
    return;
  }
  auto* context = static_cast<xmlParserCtxtPtr>(parser);
  const xmlNodePtr parent = context->node;
  state->startElementNs(parser, localname, prefix, uri, namespaceCount, namespaces, attributeCount,
                        defaultedCount, attributes);
  if (state->elements == nullptr) {
    return;
  }
  // The tree builder pushes the element it made and linked into the tree.
  const xmlNodePtr element = context->node;
  if (element != parent && element != nullptr && element->type == XML_ELEMENT_NODE) {
    try {
      state->elements->push_back({element, element->name, element->ns});
    } catch (...) {
      state->Refuse(context, XML_ERR_NO_MEMORY, "no memory to list the file's elements");
    }
  }
}

// Puts the bounds between the parser and libxml2's tree builder `sax`.
void WrapTreeBuilder(_tagSLoadState& state, xmlSAXHandler* sax) {
  state.entityDecl = sax->entityDecl;
  state.getParameterEntity = sax->getParameterEntity;
  state.startElementNs = sax->startElementNs;
  sax->entityDecl = OnEntityDecl;
  sax->unparsedEntityDecl = OnUnparsedEntityDecl;
  sax->getParameterEntity = OnGetParameterEntity;
  sax->startElementNs = OnStartElementNs;
}

void InstallLoaderOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    gPreviousLoader = xmlGetExternalEntityLoader();
    xmlSetExternalEntityLoader(LoadLocalFile);
  });
}

// The text of line `line` (1-based) of a local file, or "" when there is none.
std::string LineOf(const std::string& file, long line) {
  if (file.empty() || line <= 0) {
    return "";
  }
  std::string path;
  std::string reason;
  const int fd = OpenLocalFile(file, path, reason);
  if (fd < 0) {
    return "";
  }
  FILE* stream = ::fdopen(fd, "rb");
  if (stream == nullptr) {
    ::close(fd);
    return "";
  }
  std::string text;
  long current = 1;
  for (int c = std::fgetc(stream); c != EOF && current <= line; c = std::fgetc(stream)) {
    if (c == '\n') {
      ++current;
    } else if (current == line) {
      text.push_back(static_cast<char>(c));
    }
  }
  std::fclose(stream);
  if (!text.empty() && text.back() == '\r') {
    text.pop_back();
  }
  return text;
}

class CLoadScope {
 public:
  explicit CLoadScope(_tagSLoadState& state)
      : mPreviousHandler(xmlStructuredError),
        mPreviousContext(xmlStructuredErrorContext),
        mPreviousLoad(tCurrentLoad) {
    xmlSetStructuredErrorFunc(&state, OnError);
    tCurrentLoad = &state;
  }
  ~CLoadScope() {
    tCurrentLoad = mPreviousLoad;
    xmlSetStructuredErrorFunc(mPreviousContext, mPreviousHandler);
  }
  CLoadScope(const CLoadScope&) = delete;
  CLoadScope& operator=(const CLoadScope&) = delete;

 private:
  xmlStructuredErrorFunc mPreviousHandler;
  void* mPreviousContext;
  _tagSLoadState* mPreviousLoad;
};

// Hands what a load found to the caller: every problem with the text of its
// line, the first one also as the cause.
void Report(_tagSLoadState& state, _tagSXmlParseError& error) {
  for (XmlProblem& problem : state.problems) {
    problem.srcText = FromUtf8(LineOf(ToUtf8(problem.file), problem.line));
  }
  const XmlProblem& first = state.problems.front();
  error.code = first.code != 0 ? first.code : long{XML_ERR_INTERNAL_ERROR};
  error.reason = first.reason;
  error.srcText = first.srcText;
  error.line = first.line;
  error.file = first.file;
  error.problems = std::move(state.problems);
}

}  // namespace

XmlStatus LoadBoundedDocument(const std::string& path, xmlDocPtr& doc, _tagSXmlParseError& error,
                              std::vector<LibXmlElementMade>* elements) {
  InstallLoaderOnce();
  doc = nullptr;
  error = _tagSXmlParseError{};
  _tagSLoadState state;
  state.elements = elements;
  state.context = xmlNewParserCtxt();
  if (state.context == nullptr) {
    return XmlStatus::Failed;
  }
  WrapTreeBuilder(state, state.context->sax);
  xmlDocPtr parsed = nullptr;
  bool wellFormed = false;
  {
    CLoadScope scope(state);
    parsed = xmlCtxtReadFile(state.context, path.c_str(), nullptr, kParseOptions);
    // Validity errors reach OnError; ctxt->valid is not used because it is
    // also cleared for a document that declares no DTD at all.
    wellFormed = state.context->wellFormed != 0;
  }
  xmlFreeParserCtxt(state.context);
  state.context = nullptr;

  if (parsed == nullptr || !wellFormed || state.Failed()) {
    if (!state.Failed()) {
      state.Record(XML_ERR_INTERNAL_ERROR, "\"" + path + "\" could not be parsed", nullptr, 0);
    }
    if (parsed != nullptr) {
      xmlFreeDoc(parsed);
    }
    if (elements != nullptr) {
      elements->clear();
    }
    Report(state, error);
    return XmlStatus::Ok;
  }
  doc = parsed;
  return XmlStatus::Ok;
}

XmlStatus ValidateBoundedDocument(xmlDocPtr doc, const std::string& grammar,
                                  _tagSXmlParseError& error) {
  error = _tagSXmlParseError{};
  if (doc == nullptr) {
    return XmlStatus::Failed;
  }
  InstallLoaderOnce();
  _tagSLoadState state;
  xmlDtdPtr dtd = nullptr;
  {
    CLoadScope scope(state);
    // Read with the same bounds as a policy file.
    xmlSAXHandler sax{};
    xmlSAXVersion(&sax, 2);
    WrapTreeBuilder(state, &sax);
    dtd = xmlSAXParseDTD(&sax, nullptr, BAD_CAST grammar.c_str());
    if (dtd != nullptr) {
      xmlValidCtxtPtr validation = xmlNewValidCtxt();
      if (validation == nullptr) {
        xmlFreeDtd(dtd);
        return XmlStatus::Failed;
      }
      xmlValidateDtd(validation, doc, dtd);
      xmlFreeValidCtxt(validation);
      xmlFreeDtd(dtd);
    } else if (!state.Failed()) {
      state.Record(XML_ERR_INTERNAL_ERROR, "the DTD \"" + grammar + "\" could not be parsed",
                   nullptr, 0);
    }
  }
  if (state.Failed()) {
    Report(state, error);
  }
  return XmlStatus::Ok;
}

int LibXmlParseOptions() {
  return kParseOptions;
}

// Bodies a hostile peer might send: each read ends with its result code, in
// time bounded by the body's size; a body longer than the limit is not read
// past it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <sys/resource.h>

#include "soap/body_limit_stream.h"
#include "soap/reader_writer_fixture.h"

namespace varnel_test {
namespace {

constexpr HRESULT kInvalidMessage = static_cast<HRESULT>(0x80040301u);

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The process's peak resident size so far.
long PeakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Sanitizers and memcheck change what an allocation costs.
bool UnderMemoryTool() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  return true;
#else
  const char* preload = std::getenv("LD_PRELOAD");
  return preload && std::strstr(preload, "vgpreload");
#endif
}

std::string Repeat(const std::string& unit, size_t count) {
  std::string text;
  text.reserve(unit.size() * count);
  for (size_t i = 0; i < count; ++i) text += unit;
  return text;
}

class HostileBodiesTest : public ReaderWriterTest {
 protected:
  void SetUp() override { Load("scpd/rendering_control.xml", kRenderingControl); }

  // Reads `body` as a request, prints what it cost, and answers the code.
  HRESULT Read(const std::string& body, const char* label) {
    CComPtr<IUnknown> object;
    const double start = CpuSeconds();
    const HRESULT hr = ReadRequest(body, object);
    std::printf("[ COST     ] %-40s %9zu bytes  code %08X  %.3f s CPU\n", label, body.size(),
                static_cast<unsigned>(hr), CpuSeconds() - start);
    TakeErrorInfo();
    return hr;
  }

  static std::string Request(const std::string& arguments) {
    return Envelope("<u:GetMute xmlns:u=\"urn:schemas-upnp-org:service:RenderingControl:1\">" + arguments +
                    "</u:GetMute>");
  }
};

TEST_F(HostileBodiesTest, BodiesThatDoNotParseAreInvalidMessages) {
  const std::string bomb = "<!DOCTYPE s [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">]>";
  EXPECT_EQ(kInvalidMessage, Read(bomb + Request("<InstanceID>&b;</InstanceID>"), "entity bomb"));
  EXPECT_EQ(kInvalidMessage,
            Read("<!DOCTYPE s [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" + Request("<InstanceID>&x;</InstanceID>"),
                 "external entity"));
  EXPECT_EQ(kInvalidMessage,
            Read(Request(Repeat("<e>", 300) + Repeat("</e>", 300)), "nesting beyond the limit"));
  EXPECT_EQ(kInvalidMessage, Read(Request("<InstanceID>\xC3\x28</InstanceID>"), "invalid UTF-8"));
  EXPECT_EQ(kInvalidMessage, Read(Request("<InstanceID>\xED\xA0\x80</InstanceID>"), "lone surrogate"));
  EXPECT_EQ(kInvalidMessage, Read(Request(std::string("<InstanceID>0\0</InstanceID>", 27)), "NUL byte"));
  std::string declarations = "<x";
  for (int i = 0; i < 100000; ++i) declarations += " xmlns:p" + std::to_string(i) + "=\"u\"";
  EXPECT_EQ(kInvalidMessage, Read(Request(declarations + "/>"), "100000 declarations"));
}

// The thread's parser is kept between reads; the first bytes of the next body
// can make libxml2 report an error while it is being reset for that body.
TEST_F(HostileBodiesTest, ABodyWhoseFirstBytesRuleOutEveryEncodingAfterAGoodOne) {
  const std::string good = Request("<InstanceID>0</InstanceID><Channel>Master</Channel>");
  const std::string bad("\x00\x3C\x00\x00\x00\x00\x00\x00\x00\x40\x3F\x6E\x3C", 13);
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(S_OK, Read(good, "a good request"));
    EXPECT_EQ(kInvalidMessage, Read(bad, "bytes of no encoding"));
  }
}

TEST_F(HostileBodiesTest, EveryTruncationOfARealRequestIsAnInvalidMessage) {
  const std::string body = Request("<InstanceID>0</InstanceID><Channel>Master</Channel>");
  ASSERT_EQ(S_OK, Read(body, "whole request"));
  const double start = CpuSeconds();
  for (size_t length = 0; length < body.size(); ++length) {
    CComPtr<IUnknown> object;
    EXPECT_EQ(kInvalidMessage, ReadRequest(body.substr(0, length), object)) << length;
    EXPECT_FALSE(object) << length;
    TakeErrorInfo();
  }
  std::printf("[ COST     ] %zu truncations: %.3f s CPU\n", body.size(), CpuSeconds() - start);
}

TEST_F(HostileBodiesTest, LargeBodiesWithinTheLimitAreReadToTheirEnd) {
  // Too many arguments: refused for them, after a full read.
  const HRESULT many = Read(Request(Repeat("<InstanceID>0</InstanceID>", 100000)), "100000 arguments");
  EXPECT_TRUE(FAILED(many));
  EXPECT_NE(kInvalidMessage, many);
  std::string headed = Request("<InstanceID>0</InstanceID><Channel>Master</Channel>");
  headed.insert(headed.find("<s:Body>"), "<s:Header>" + Repeat("<a>header value</a>", 100000) + "</s:Header>");
  EXPECT_EQ(S_OK, Read(headed, "100000 small elements in the header"));
}

// The tree of a body costs about 160 bytes a node: markup denser than one
// node per 9 bytes is refused, so what is read stays under 20 times its size.
TEST_F(HostileBodiesTest, MarkupTooDenseForItsSizeIsRefusedAndTheDensestAllowedStaysUnderTwentyTimesItsSize) {
  auto headed = [](const std::string& unit) {
    std::string body = Request("<InstanceID>0</InstanceID><Channel>Master</Channel>");
    body.insert(body.find("<s:Body>"), "<s:Header>" + Repeat(unit, (10u << 20) / unit.size()) + "</s:Header>");
    return body;
  };
  // Peak memory first, while this process has not yet grown, on the costliest
  // allowed shape: attributes at the limit.
  const std::string densest = headed("<a bcd='efghijklmnopqrstu'/>");
  const long before = PeakKilobytes();
  EXPECT_EQ(S_OK, Read(densest, "attributes, 9.3 bytes a node"));
  const double ratio = static_cast<double>(PeakKilobytes() - before) * 1024.0 / static_cast<double>(densest.size());
  std::printf("[ COST     ] peak memory %.1f times the body\n", ratio);
  if (!UnderMemoryTool()) {
    EXPECT_LT(ratio, 20.0);
  }
  EXPECT_EQ(S_OK, Read(headed("<abcdefg/>"), "elements, 10 bytes a node"));
  for (const char* unit : {"<a/>", "<a/>x", "<a>1</a>", "<a b='c'/>", "<!---->", "<?a?>", "<a/><![CDATA[x]]>"}) {
    EXPECT_EQ(kInvalidMessage, Read(headed(unit), unit));
  }
}

TEST(BodyLimitTest, TheHostsValueIsTakenAsBytesAndNeverBelowEightMebibytes) {
  EXPECT_EQ(varnel::kDefaultBodyBytes, varnel::BodyLimitFrom(nullptr));
  EXPECT_EQ(varnel::kDefaultBodyBytes, varnel::BodyLimitFrom(""));
  EXPECT_EQ(varnel::kDefaultBodyBytes, varnel::BodyLimitFrom("16M"));
  EXPECT_EQ(varnel::kDefaultBodyBytes, varnel::BodyLimitFrom("-1"));
  EXPECT_EQ(varnel::kDefaultBodyBytes, varnel::BodyLimitFrom("99999999999999999999999"));
  EXPECT_EQ(varnel::kMinBodyBytes, varnel::BodyLimitFrom("0"));
  EXPECT_EQ(varnel::kMinBodyBytes, varnel::BodyLimitFrom("1000"));
  EXPECT_EQ(20000000u, varnel::BodyLimitFrom("20000000"));
  EXPECT_EQ(16u * 1024 * 1024, varnel::kDefaultBodyBytes);
}

// A body reader that fills what it is asked for and claims more.
class OverReportingBody final : public HaldenUtils::FakeIUnknownImpl<ISequentialStream> {
 public:
  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override {
    std::memset(buffer, 'x', count);
    if (read) *read = count + 64;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
};

TEST(BodyLimitTest, AReaderThatClaimsMoreThanItWasAskedForIsNotBelieved) {
  OverReportingBody body;
  varnel::BodyLimitStream limited(&body, varnel::kMinBodyBytes);
  char buffer[16];
  ULONG read = 99;
  EXPECT_EQ(E_UNEXPECTED, limited.Read(buffer, sizeof buffer, &read));
  EXPECT_EQ(0u, read);
  EXPECT_EQ(E_UNEXPECTED, limited.Read(buffer, sizeof buffer, &read));
}

// Runs in a process of its own under ctest: the limit is read once.
TEST_F(HostileBodiesTest, ABodyAtTheLimitIsReadAndOneByteMoreIsAnInvalidMessage) {
  setenv("VARNEL_MAX_BODY_BYTES", "1", 1);  // raised to the smallest limit
  if (varnel::MaxBodyBytes() != varnel::kMinBodyBytes) GTEST_SKIP() << "the limit was read earlier in this process";
  const std::string request = Request("<InstanceID>0</InstanceID><Channel>Master</Channel>");
  // Padded with a comment after the declaration to exactly the limit.
  const size_t declarationEnd = request.find("?>") + 2;
  const size_t padding = varnel::kMinBodyBytes - request.size() - 7;
  const std::string atLimit =
      request.substr(0, declarationEnd) + "<!--" + std::string(padding, 'x') + "-->" + request.substr(declarationEnd);
  ASSERT_EQ(varnel::kMinBodyBytes, atLimit.size());
  EXPECT_EQ(S_OK, Read(atLimit, "body at the limit"));
  EXPECT_EQ(kInvalidMessage, Read(atLimit + " ", "body one byte over the limit"));
  EXPECT_EQ(kInvalidMessage, Read(atLimit + std::string(varnel::kMinBodyBytes, ' '), "body twice the limit"));
}

}  // namespace
}  // namespace varnel_test

#include <gtest/gtest.h>

#include "remote/Transports.h"
#include "remote/Wire.h"

using nlohmann::json;
using remote::Variant;

namespace {

Variant throughText(const Variant& v) {
  return remote::decodeVariant(json::parse(remote::encodeVariant(v).dump()));
}

}  // namespace

TEST(WireFormat, ScalarsKeepTheirKindThroughTheText) {
  auto date = host::DateTime::fromYmd(2026, 2, 28);
  auto stamp = host::DateTime::fromYmdHms(2026, 2, 28, 13, 5, 9, 250);
  const std::vector<Variant> cases{Variant(),
                                   Variant(""),
                                   Variant("2026-02-28"),
                                   Variant(date),
                                   Variant(stamp),
                                   Variant(int64_t{1}),
                                   Variant(1.0),
                                   Variant(0.1 + 0.2),
                                   Variant(true),
                                   Variant("ação ç"),
                                   Variant(int64_t{-9007199254740993})};
  for (const auto& v : cases) {
    Variant back = throughText(v);
    EXPECT_EQ(back.kind(), v.kind()) << remote::encodeVariant(v).dump();
    EXPECT_TRUE(back == v) << remote::encodeVariant(v).dump();
  }
  EXPECT_FALSE(throughText(Variant(1.0)) == Variant(int64_t{1}));
  EXPECT_FALSE(throughText(Variant("")) == Variant());
}

TEST(WireFormat, PacketKeepsFieldsRowsAndChangeLog) {
  json packet = {
      {"fields", json::array({{{"name", "CDREDUCONT"}, {"type", "S"}, {"size", 3}},
                              {{"name", "DTVENBOLREC"}, {"type", "D"}}})},
      {"rows", json::array({json::array({"001", "2026-03-01"}), json::array({nullptr, nullptr})})},
      {"changes",
       json::array({{{"op", "modify"}, {"row", 0}, {"original", json::array({"002", nullptr})}}})}};
  Variant nested = Variant::array({Variant::packet(packet), Variant("x"), Variant::array({})});
  Variant back = throughText(nested);
  ASSERT_TRUE(back.isArray());
  ASSERT_EQ(back.items().size(), 3u);
  EXPECT_EQ(back.items()[0].packetJson(), packet);
  EXPECT_TRUE(back == nested);
}

TEST(WireFormat, RefusesMalformedInputAndUnsendableNumbers) {
  for (const char* text :
       {R"({"t":"I","v":1.5})", R"({"t":"D","v":"2026-02-30"})", R"({"t":"S","v":3})",
        R"({"t":"Q","v":1})", R"({"v":1})", R"({"t":"P","v":[1]})", R"([1,2])"}) {
    EXPECT_THROW(remote::decodeVariant(json::parse(text)), std::invalid_argument) << text;
  }
  EXPECT_THROW(remote::encodeVariant(Variant(std::numeric_limits<double>::quiet_NaN())),
               std::invalid_argument);
  EXPECT_THROW(remote::decodeRequest(json::parse(R"({"object":"A","args":[]})")),
               std::invalid_argument);
}

TEST(WireFormat, RequestAndReplyCarryInOutArguments) {
  remote::Request req{"Rec12000.rdmHabContRec",
                      "GetCont_Corr",
                      "04",
                      {Variant("001"), Variant(2.5)},
                      {true, false}};
  remote::Request back = remote::decodeRequest(json::parse(remote::encodeRequest(req).dump()));
  EXPECT_EQ(back.object, req.object);
  EXPECT_EQ(back.method, req.method);
  EXPECT_EQ(back.company, "04");
  EXPECT_EQ(back.byRef, (std::vector<bool>{true, false}));

  remote::Reply reply;
  reply.result = Variant(int64_t{7});
  reply.refArgs = {{0, Variant("002")}};
  remote::Reply rb = remote::decodeReply(json::parse(remote::encodeReply(reply).dump()));
  ASSERT_TRUE(rb.ok());
  ASSERT_EQ(rb.refArgs.size(), 1u);
  EXPECT_TRUE(rb.refArgs[0].second == Variant("002"));

  auto refusal = remote::Reply::refused("ALT_BLOQ", "changed meanwhile");
  remote::Reply fb = remote::decodeReply(json::parse(remote::encodeReply(refusal).dump()));
  EXPECT_EQ(fb.failure, remote::Failure::Refused);
  EXPECT_EQ(fb.key, "ALT_BLOQ");
}

TEST(WireFormat, WrittenMessagesReadAsTheirEncodedForm) {
  json packet = json::parse(R"({"fields":[{"name":"NM","type":"S","size":20}],
                                "rows":[["a \"quoted\" \\ name"],["Ávila\n"],[null]]})");
  remote::Request req{"Rec12000.rdmHabContRec",
                      "Filtro",
                      "04",
                      {Variant("x\"y"), Variant::packet(packet), Variant(),
                       Variant::array({Variant(int64_t{3}), Variant::packet(packet)})},
                      {true, false, true}};
  EXPECT_EQ(json::parse(remote::writeRequest(req)), remote::encodeRequest(req));

  remote::Reply reply;
  reply.result =
      Variant::array({Variant::packet(packet), Variant(host::DateTime::fromYmd(2026, 1, 31))});
  reply.refArgs = {{0, Variant("001")}, {3, Variant::packet(packet)}};
  EXPECT_EQ(json::parse(remote::writeReply(reply)), remote::encodeReply(reply));
  auto refusal = remote::Reply::refused("ALT_BLOQ", "changed \"meanwhile\"");
  EXPECT_EQ(json::parse(remote::writeReply(refusal)), remote::encodeReply(refusal));

  // What cannot be encoded cannot be written either.
  remote::Reply nan;
  nan.result = Variant::array({Variant(std::numeric_limits<double>::infinity())});
  EXPECT_THROW(remote::writeReply(nan), std::invalid_argument);
}

TEST(ServerAddress, ReadsSchemeHostAndPort) {
  auto a = remote::ServerAddress::parse("https://srv.example:9443/", 80);
  EXPECT_EQ(a.scheme, "https");
  EXPECT_EQ(a.host, "srv.example");
  EXPECT_EQ(a.port, 9443);
  EXPECT_EQ(remote::ServerAddress::parse("127.0.0.1", 8211).url(), "http://127.0.0.1:8211");
  EXPECT_THROW(remote::ServerAddress::parse("ftp://x", 1), std::invalid_argument);
  EXPECT_THROW(remote::ServerAddress::parse("host:99999", 1), std::invalid_argument);
  EXPECT_THROW(remote::ServerAddress::parse("host:12ab", 1), std::invalid_argument);
}

namespace {

Variant packedPacket() {
  host::DataPacket p(json{{"fields",
                           {{{"name", "A"}, {"type", "S"}, {"size", 4}},
                            {{"name", "V"}, {"type", "F"}},
                            {{"name", "D"}, {"type", "D"}}}}});
  p.addText("x\"y");
  p.addFloat(2.0);
  p.addDate(host::DateTime::fromYmd(2026, 2, 28));
  p.endRow();
  p.addNull();
  p.addNull();
  p.addNull();
  p.endRow();
  return Variant::packet(std::move(p));
}

}  // namespace

TEST(ServerAddress, AListNamesEveryServerOfOneService) {
  const auto list = remote::ServerAddress::parseList("https://a.local, b.local:9000,,", 8211);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].url(), "https://a.local:8211");
  EXPECT_EQ(list[1].url(), "http://b.local:9000");
  EXPECT_THROW(remote::ServerAddress::parseList(" , ", 8211), std::invalid_argument);
  EXPECT_THROW(remote::ServerAddress::parseList("a.local,ftp://b", 8211), std::invalid_argument);
}

TEST(WireFormat, RepliesReadOffTheTextAsTheTreeReadsThem) {
  remote::Reply r;
  r.result = Variant::array({packedPacket(), Variant(""), Variant::array({}),
                             Variant::array({packedPacket(), Variant(int64_t{3})})});
  r.refArgs = {{1, Variant("001")}, {4, Variant()}};
  std::vector<remote::Reply> replies{r};
  remote::Reply single;
  single.result = packedPacket();
  replies.push_back(single);
  replies.push_back(remote::Reply::refused("ALT_BLOQ", "changed meanwhile"));

  for (const auto& reply : replies) {
    const std::string text = remote::writeReply(reply);
    const remote::Reply quick = remote::readReply(text);
    const remote::Reply tree = remote::decodeReply(json::parse(text));
    EXPECT_EQ(quick.failure, tree.failure) << text;
    EXPECT_EQ(quick.key, tree.key);
    EXPECT_TRUE(quick.result == tree.result) << text;
    EXPECT_TRUE(quick.result == reply.result) << text;
    ASSERT_EQ(quick.refArgs.size(), tree.refArgs.size());
    for (size_t i = 0; i < quick.refArgs.size(); ++i) {
      EXPECT_EQ(quick.refArgs[i].first, tree.refArgs[i].first);
      EXPECT_TRUE(quick.refArgs[i].second == tree.refArgs[i].second);
    }
  }
  // the packet comes out packed, and its rows reach a dataset either way alike
  const remote::Reply quick = remote::readReply(remote::writeReply(single));
  ASSERT_NE(quick.result.packedPacket(), nullptr);
  host::ClientDataset a("a"), b("b");
  remote::loadPacket(a, quick.result);
  b.loadPacket(single.result.packetJson());
  EXPECT_EQ(a.toPacket(), b.toPacket());
}

TEST(WireFormat, ARepliesTextInAnotherShapeIsReadAsATreeAndNonsenseStillFails) {
  // another writer's spacing and member order
  const std::string spaced = R"({ "args": [[0, {"v": "7", "t": "S"}]], "result": {"v":
    {"rows": [["a"]], "fields": [{"name": "A", "type": "S", "size": 1}]}, "t": "P"}, "ok": true })";
  const remote::Reply r = remote::readReply(spaced);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.result.packetJson()["rows"], json::parse(R"([["a"]])"));
  EXPECT_EQ(r.refArgs.at(0).second.asString(), "7");
  // a packet the quick reader declines is kept whole, change log included
  const std::string withLog =
      R"({"ok":true,"result":{"t":"P","v":{"fields":[{"name":"A","type":"I"}],"rows":[[1]],)"
      R"("changes":[{"kind":"insert","row":0}]}},"args":[]})";
  EXPECT_EQ(remote::readReply(withLog).result.packetJson()["changes"].size(), 1u);
  for (const char* bad :
       {R"({"ok":true,"result":{"t":"P","v":{"fields":[],"rows":[[1]}},"args":[]})",
        R"({"ok":true,"result":{"t":"X"},"args":[]})", "{\"ok\":true,"}) {
    EXPECT_ANY_THROW(remote::readReply(bad)) << bad;
  }
}

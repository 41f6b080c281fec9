// The frame helpers, the reply checks and the status texts.

#include <gtest/gtest.h>

#include "link/exchange_request.h"
#include "link/reply_check.h"
#include "tests/link/pty_peer.h"

namespace flovir::test {
namespace {

TEST(ModbusCrc, KnownValues) {
  const char* check = "123456789";
  EXPECT_EQ(ModbusCrc(reinterpret_cast<const uint8_t*>(check), 9), 0x4B37);
  const uint8_t read10[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A};
  EXPECT_EQ(ModbusCrc(read10, 6), 0xCDC5);  // sent as C5 CD
  const uint8_t exception[] = {0x01, 0x83, 0x02};
  EXPECT_EQ(ModbusCrc(exception, 3), 0xF1C0);
  EXPECT_EQ(ModbusCrc(nullptr, 0), 0xFFFF);
}

TEST(SwapWordsCopy, ExchangesTheBytesOfEveryWordAndIgnoresAnOddByte) {
  const uint8_t source[] = {1, 2, 3, 4, 5};
  uint8_t out[5] = {9, 9, 9, 9, 9};
  SwapWordsCopy(source, out, 5);
  EXPECT_EQ(Bytes(out, out + 5), (Bytes{2, 1, 4, 3, 9}));
  uint8_t same[] = {1, 2, 3, 4};
  SwapWordsCopy(same, same, 4);
  EXPECT_EQ(Bytes(same, same + 4), (Bytes{2, 1, 4, 3}));
}

TEST(HexDump, TraceFormat) {
  const uint8_t frame[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};
  EXPECT_EQ(HexDump(frame, 8), "0x01 0x03 0x00 0x00 0x00 0x0A 0xC5 0xCD (8 байт)");
  EXPECT_EQ(HexDump(frame, 0), "(0 байт)");
  std::vector<uint8_t> full(256, 0xAB);
  const std::string dump = HexDump(full.data(), full.size());
  EXPECT_EQ(dump.size(), 256 * 5 + std::string("(256 байт)").size());
}

TEST(StatusMessages, TextsThatUsersSee) {
  EXPECT_EQ(StatusMessages[0], "Завершено успешно");
  EXPECT_EQ(StatusMessages[2], "Адрес данных указанный в запросе не доступен данному подчиненному");
  EXPECT_EQ(StatusMessages[3],
            "Величина содержащаяся в поле данных запроса является не допустимой величиной для "
            "подчиненного");
  EXPECT_EQ(StatusMessages[12], "Превышен тайм-аут ожидания ответа");
  EXPECT_EQ(StatusMessages[14], "Кол-во попыток запросов или длина пакета равны 0");
  EXPECT_EQ(StatusMessages[18], "Неподдерживаемая команда ModBus");
  for (std::string_view text : StatusMessages) EXPECT_FALSE(text.empty());
  EXPECT_EQ(StatusText(static_cast<ExchangeStatus>(200)), StatusMessages[17]);
}

TEST(StripReplyZeros, NeverBelowTheExpectedLength) {
  uint8_t reply[] = {0, 0, 1, 3, 2, 0, 0, 0, 0};
  EXPECT_EQ(StripReplyZeros(reply, 9, 5), 5u);  // 01 03 02 00 00: the data zeros stay
  EXPECT_EQ(reply[0], 1);
  uint8_t zeros[] = {0, 0, 0};
  EXPECT_EQ(StripReplyZeros(zeros, 3, 7), 0u);
}

TEST(IsCompleteReply, RecognisesOnlyWholeValidFrames) {
  const Bytes reply = ReadReply(1, {0x1234});  // 7 bytes
  EXPECT_TRUE(IsCompleteReply(reply.data(), reply.size(), 7));
  EXPECT_FALSE(IsCompleteReply(reply.data(), 6, 7));
  Bytes zeros = {0, 0};
  zeros.insert(zeros.end(), reply.begin(), reply.end());
  EXPECT_TRUE(IsCompleteReply(zeros.data(), zeros.size(), 7));
  Bytes bad = reply;
  bad[3] ^= 1;
  EXPECT_FALSE(IsCompleteReply(bad.data(), bad.size(), 7));
  const Bytes exception = {0x01, 0x83, 0x02, 0xC0, 0xF1};
  EXPECT_TRUE(IsCompleteReply(exception.data(), 5, 7));
  EXPECT_TRUE(IsCompleteReply(exception.data(), 5, 8));
  // Five bytes of a normal reply with a valid CRC are not an exception.
  const Bytes five = WithCrc({1, 3, 0});
  EXPECT_FALSE(IsCompleteReply(five.data(), 5, 7));
  EXPECT_FALSE(IsCompleteReply(zeros.data(), 2, 7));
}

}  // namespace
}  // namespace flovir::test

// The receiving side of posts between the program's processes on hostile
// requests: only a whole request for a live window of this process and a
// message that may cross is queued, and a queued message is the one asked.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/ui/crossprocess.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 256) return 0;
  static HWND Target = AllocateHWnd([](TMessage& M) { M.Result = 0; });
  std::vector<uint8_t> Req(data, data + size);
  // An odd first byte aims the request at the live window.
  if (size >= 4 && (data[0] & 1)) {
    const uint32_t Id = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(Target));
    std::memcpy(Req.data(), &Id, 4);
  }
  const bool Queued = gtui::AnswerPostRequest(Req.data(), Req.size());
  uint32_t Handle = 0, Msg = 0;
  if (size >= 8) {
    std::memcpy(&Handle, Req.data(), 4);
    std::memcpy(&Msg, Req.data() + 4, 4);
  }
  if (Queued && (size != 24 || Msg < WM_USER || Msg > 0x7FFF || Handle != reinterpret_cast<uintptr_t>(Target)))
    std::abort();
  MSG M;
  bool Seen = false;
  while (PeekMessage(&M, nullptr, 0, 0, PM_REMOVE))
    if (M.hwnd == Target && M.message == Msg) Seen = true;
  if (Queued != Seen) std::abort();
  return 0;
}

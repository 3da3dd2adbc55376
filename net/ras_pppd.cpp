#include "net/ras_pppd.h"

namespace kv::net {
TPppdRasBackend::TPppdRasBackend(std::string peersDirectory, std::string pppdCommand,
                                 std::chrono::milliseconds killGrace)
    : phoneBook_(std::move(peersDirectory)), pppdCommand_(std::move(pppdCommand)), killGrace_(killGrace) {}
TPppdRasBackend::~TPppdRasBackend() = default;
int TPppdRasBackend::EnumEntries(std::vector<std::string> &entries) { return phoneBook_.List(entries); }
int TPppdRasBackend::GetEntryDialParams(RasDialParams &, bool &) { return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY; }
int TPppdRasBackend::Dial(const RasDialParams &, RasNotifier, RasConnHandle &) { return ERROR_RASMAN_CANNOT_INITIALIZE; }
int TPppdRasBackend::HangUp(RasConnHandle) { return ERROR_INVALID_HANDLE; }
} // namespace kv::net

// The start-up a host goes through, and its undoing: switch the log on,
// create the participant manager (explaining a refusal in words), load the
// configuration when one is given, enumerate. The destructor deletes every
// manager it may have brought into being, so a command leaves nothing behind.
#pragma once

#include <string>

#include "PlatformOption.h"

class COSParticipantManager;

class CHostSession {
 public:
  CHostSession() = default;
  ~CHostSession();
  CHostSession(const CHostSession&) = delete;
  CHostSession& operator=(const CHostSession&) = delete;

  // Parses nothing: `options` are parsed and the platform is installed.
  // Returns false, with `error` in words, when there is no participant
  // manager to work with; a failed Enumerate is not a refusal (see
  // EnumerateResult): the lists hold what was found before it failed.
  bool Start(const PlatformOptions& options, std::string& error);

  COSParticipantManager& Manager() const { return *mManager; }
  int EnumerateResult() const { return mEnumerateResult; }
  // The configuration load: -1 when no file was given, else 0 when it loaded
  // and a status code when it did not.
  int ConfigResult() const { return mConfigResult; }

 private:
  COSParticipantManager* mManager = nullptr;
  int mEnumerateResult = -1;
  int mConfigResult = -1;
};

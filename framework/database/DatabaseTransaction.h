#pragma once
#include <cstdint>
#include <string>

namespace framework::detail {

// What became of the transaction begun through a connection, with every change of fate here. The
// engine may end an open transaction by itself on a failure (a full disk, an I/O error, no memory);
// a fresh transaction for the next change would then keep the rest of a change meant to land
// whole, so the loss stands, with its failure, until the caller ends the transaction.
class TransactionState {
 public:
  enum class Fate {
    None,  // none begun here, or it has been ended
    Open,  // begun here and still held by the engine
    Lost,  // begun here, then rolled back by the engine: every change and the commit fail with it
  };

  Fate fate() const { return fate_; }
  bool lost() const { return fate_ == Fate::Lost; }
  // The failure that a lost transaction reports.
  std::int32_t lostCode() const { return lostCode_; }
  const std::string& lostMessage() const { return lostMessage_; }

  // None -> Open: BEGIN went through here.
  void begun() { fate_ = Fate::Open; }
  // Open -> Lost when the engine no longer holds the transaction (`engineOpen` false): it keeps the
  // latest failure, or an abort when none is known. Any other fate stays as it is.
  void follow(bool engineOpen, std::int32_t errorCode, const std::string& errorMessage);
  // Any -> None: Commit or Rollback ended it, or the engine holds none after an attempt to end it.
  void ended() { fate_ = Fate::None; }

 private:
  Fate fate_ = Fate::None;
  std::int32_t lostCode_ = 0;
  std::string lostMessage_;
};

}  // namespace framework::detail

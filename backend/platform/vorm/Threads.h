// The host's thread library: a mutex, a completion counter, callback objects
// and a pool of worker threads. Objects are thread-safe where noted.
#ifndef VORM_THREADS_H
#define VORM_THREADS_H

#include <memory>

enum LockType : int { LockExclusive = 1 };
enum ErrorCode : int { LwFailure = 0, LwSuccess = 1 };

// A mutual-exclusion lock. lock and unlock are thread-safe.
class LwMutex {
 public:
  LwMutex();
  ~LwMutex();
  LwMutex(const LwMutex&) = delete;
  LwMutex& operator=(const LwMutex&) = delete;
  // `text` and `line` identify the caller for diagnosis; null and 0 will do.
  ErrorCode lock(LockType type, const char* text, unsigned long line);
  ErrorCode unlock(const char* text, unsigned long line);

 private:
  struct Rep;
  std::unique_ptr<Rep> fpRep;
};

// Counts completions: reset(n) sets how many to wait for, done() signals one,
// wait() blocks until that many have been signalled. Thread-safe.
class LwCompleteTask {
 public:
  explicit LwCompleteTask(int count);
  virtual ~LwCompleteTask();
  LwCompleteTask(const LwCompleteTask&) = delete;
  LwCompleteTask& operator=(const LwCompleteTask&) = delete;
  void reset(int count);
  void done();
  void wait();

 private:
  struct Rep;
  std::unique_ptr<Rep> fpRep;
};

// Message data carried by a callback object.
class msgBaseData {
 public:
  virtual ~msgBaseData() = default;
  virtual void* getMsgData() const { return fpMsgData; }
  virtual void setMsgData(void* data) { fpMsgData = data; }

 private:
  void* fpMsgData = nullptr;
};

// A unit of work handed to a worker thread, which calls execute.
class CallBackObject : public msgBaseData {
 public:
  explicit CallBackObject(void* callbackData) : fpCallbackData(callbackData) {}
  ~CallBackObject() override = default;
  virtual void setCallbackData(void* data) { fpCallbackData = data; }
  virtual void* getCallbackData() const { return fpCallbackData; }
  virtual int execute(void* argument) = 0;

 private:
  void* fpCallbackData;
};

// A pool of worker threads started by init. Thread-safe submit.
class LwThreadPoolBase {
 public:
  virtual ~LwThreadPoolBase() = default;
  // When true, the pool does not delete callback objects after running them;
  // their owner does.
  virtual void setKeepMessageData(bool keep) = 0;
  // Starts the workers; returns false when they cannot be started.
  virtual bool init() = 0;
  // Hands `callback` to a worker, which calls callback->execute(argument).
  virtual bool submit(CallBackObject* callback, void* argument, int priority) = 0;
};

class LwThreadPool : public LwThreadPoolBase {
 public:
  // `workerCount` workers (0 is allowed); `flags` is 0. Destruction joins
  // the workers after the submitted work has run.
  LwThreadPool(int workerCount, int flags);
  ~LwThreadPool() override;
  LwThreadPool(const LwThreadPool&) = delete;
  LwThreadPool& operator=(const LwThreadPool&) = delete;
  void setKeepMessageData(bool keep) override;
  bool init() override;
  bool submit(CallBackObject* callback, void* argument, int priority) override;

 private:
  struct Rep;
  std::unique_ptr<Rep> fpRep;
};

#endif  // VORM_THREADS_H

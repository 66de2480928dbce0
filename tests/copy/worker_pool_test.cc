#include "copy/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "copy/dir_ref.h"
#include "platform/posix/host_world.h"
#include "platform/posix/posix_os.h"
#include "settings/copy_settings.h"
#include "util/format.h"

namespace tarvik {
namespace {

// A worker whose task is a function given by the test.
class ScriptedWorker : public PoolWorker {
 public:
  std::function<void(ScriptedWorker*)> task;
  std::atomic<int> tasks{0};
  using PoolWorker::pool;

 protected:
  void RunTask() override {
    ++tasks;
    if (task)
      task(this);
    pool()->ReleaseWorker(this);
  }
};

class WorkerPoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    os_ = std::make_unique<PosixOs>(MakeHostWorld());
    previous_ = Os::Install(os_.get());
    Settings() = CopySettings();
  }
  void TearDown() override { Os::Install(previous_); }

  static WorkerPool::Factory Scripted() {
    return [](WorkerPool&, uint32_t) { return std::make_unique<ScriptedWorker>(); };
  }

  std::unique_ptr<Os> os_;
  Os* previous_ = nullptr;
};

TEST_F(WorkerPoolTest, TreeLimitIsThirtyPercentPlusOne) {
  EXPECT_EQ(WorkerPool(1, Scripted()).treeLimit(), 1u);
  EXPECT_EQ(WorkerPool(10, Scripted()).treeLimit(), 4u);
  WorkerPool pool(64, Scripted());
  EXPECT_EQ(pool.treeLimit(), 20u);

  // At most 20 TREE or PURGE workers; FILE workers may take the rest.
  std::vector<PoolWorker*> taken;
  for (int i = 0; i < 19; ++i)
    taken.push_back(pool.TakeWorker(WorkerRole::kTree));
  taken.push_back(pool.TakeWorker(WorkerRole::kPurge));
  for (PoolWorker* worker : taken)
    ASSERT_NE(worker, nullptr);
  EXPECT_EQ(pool.TakeWorker(WorkerRole::kTree), nullptr);
  EXPECT_EQ(pool.TakeWorker(WorkerRole::kPurge), nullptr);
  for (int i = 0; i < 44; ++i)
    ASSERT_NE(pool.TakeWorker(WorkerRole::kFile), nullptr) << i;
  EXPECT_EQ(pool.TakeWorker(WorkerRole::kFile), nullptr);
  EXPECT_EQ(pool.TreeCountForTesting(), 20u);
  EXPECT_EQ(pool.FileCountForTesting(), 44u);

  // A released TREE worker makes room for another one.
  pool.ReleaseWorker(taken[0]);
  EXPECT_EQ(pool.TreeCountForTesting(), 19u);
  PoolWorker* again = pool.TakeWorker(WorkerRole::kTree);
  EXPECT_EQ(again, taken[0]);
  EXPECT_EQ(again->role(), WorkerRole::kTree);
}

TEST_F(WorkerPoolTest, SingleWorkerCannotHandOver) {
  WorkerPool pool(1, Scripted());
  PoolWorker* first = pool.TakeWorker(WorkerRole::kTree);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(pool.TakeWorker(WorkerRole::kFile), nullptr);
  EXPECT_EQ(pool.TakeWorker(WorkerRole::kTree), nullptr);
  // Releasing the only busy worker ends the run; every thread ends.
  pool.ReleaseWorker(first);
  EXPECT_TRUE(pool.terminating());
  pool.WaitForWorkers();
}

TEST_F(WorkerPoolTest, RunEndsWhenTheLastBusyWorkerReturns) {
  // The first worker hands a file to a second one before it returns; the
  // run must not end before the second one is done.
  WorkerPool pool(4, Scripted());
  std::atomic<bool> file_done{false};
  auto* first = static_cast<ScriptedWorker*>(pool.TakeWorker(WorkerRole::kTree));
  first->task = [&](ScriptedWorker* self) {
    auto* second = static_cast<ScriptedWorker*>(self->pool()->TakeWorker(WorkerRole::kFile));
    ASSERT_NE(second, nullptr);
    second->task = [&](ScriptedWorker*) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      file_done = true;
    };
    second->SignalStart();
  };
  first->SignalStart();
  pool.WaitForWorkers();
  EXPECT_TRUE(file_done);
  EXPECT_TRUE(pool.terminating());
  int tasks = 0;
  for (uint32_t i = 0; i < pool.size(); ++i)
    tasks += static_cast<ScriptedWorker*>(pool.worker(i))->tasks;
  EXPECT_EQ(tasks, 2);  // woken to end, the idle workers ran no task
}

TEST_F(WorkerPoolTest, WorkerPrefixNumbersWorkersFromOne) {
  EXPECT_EQ(WorkerPrefix(Os::Current().GetCurrentThreadId()), L"");  // no pool
  SetThePool(std::make_unique<WorkerPool>(3, Scripted()));
  WorkerPool* pool = ThePool();
  ASSERT_NE(pool, nullptr);
  EXPECT_EQ(WorkerPrefix(Os::Current().GetCurrentThreadId()), L"TH000 : ");
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(pool->worker(i)->threadNumber(), i);
    // The pool does not wait for its threads to start; each maps itself.
    while (pool->worker(i)->systemThreadId() == 0)
      std::this_thread::yield();
    EXPECT_EQ(WorkerPrefix(pool->worker(i)->systemThreadId()),
              Format(L"TH%.3d : ", static_cast<int32_t>(i + 1)));
  }
  DestroyWorkerPool();
  EXPECT_EQ(ThePool(), nullptr);
  EXPECT_EQ(WorkerPrefix(Os::Current().GetCurrentThreadId()), L"");
}

TEST(DirRefTest, ChainsCountEveryDescendantAndCompleteChildFirst) {
  DirRef root, child, grandchild;
  child.parent = &root;
  grandchild.parent = &child;
  EXPECT_EQ(AttachDirRefChain(&root), 1);
  EXPECT_EQ(AttachDirRefChain(&child), 2);
  EXPECT_EQ(AttachDirRefChain(&grandchild), 3);
  EXPECT_EQ(root.count, 3);
  EXPECT_EQ(child.count, 2);

  std::vector<DirRef*> completed;
  EXPECT_EQ(ReleaseDirRefChain(&child, &completed), 2);
  EXPECT_TRUE(completed.empty());
  EXPECT_EQ(ReleaseDirRefChain(&grandchild, &completed), 3);
  EXPECT_EQ(completed, (std::vector<DirRef*>{&grandchild, &child}));
  completed.clear();
  ReleaseDirRefChain(&root, &completed);
  EXPECT_EQ(completed, (std::vector<DirRef*>{&root}));
}

}  // namespace
}  // namespace tarvik

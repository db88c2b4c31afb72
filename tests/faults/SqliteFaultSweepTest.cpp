// Fault sweeps on SQLite: every write operation under a failing write, sync
// or truncate (IoError), and under a failing allocation (OutOfMemory).
#include <gtest/gtest.h>

#include <memory>

#include "faults/FaultSweep.h"
#include "support/FailingAllocator.h"
#include "support/FaultVfs.h"
#include "support/ScriptedDriver.h"

namespace qz::testing {
namespace {

class VfsInjector : public FaultInjector {
 public:
  void Arm(uint64_t n) override { vfs_.FailAt(n); }
  void Disarm() override { vfs_.Disarm(); }
  bool Fired() const override { return vfs_.fired(); }
  uint64_t Counted() const override { return vfs_.operations(); }

 private:
  FaultVfs vfs_;
};

class AllocatorInjector : public FaultInjector {
 public:
  bool installed() const { return allocator_.installed(); }
  void Arm(uint64_t n) override { allocator_.FailAt(n); }
  void Disarm() override { allocator_.Disarm(); }
  bool Fired() const override { return allocator_.fired(); }
  uint64_t Counted() const override { return allocator_.allocations(); }

 private:
  FailingAllocator allocator_;
};

class SqliteFaultSweep : public ::testing::TestWithParam<WriteOperation> {
 protected:
  // Runs the sweep with injector, which is made before the database so
  // that every connection to it meets the faults: once on an object used
  // before, once on a fresh object for each fault.
  void SweepWith(std::unique_ptr<FaultInjector> injector, const std::string& kind) {
    std::unique_ptr<EngineDatabase> database = MakeEngineDatabase("SQLite");
    ASSERT_NE(database, nullptr);
    SweepSetup setup;
    setup.operation = GetParam();
    setup.database = database.get();
    setup.under_test = database->Node();
    setup.injector = injector.get();
    EngineDatabase* db = database.get();
    setup.check = [db]() -> std::string {
      const std::wstring verdict = db->QueryText(L"select integrity_check as v from pragma_integrity_check");
      return verdict == L"ok" ? std::string() : "integrity_check: " + std::string(verdict.begin(), verdict.end());
    };
    const SweepResult used = Sweep(setup);
    setup.fresh_object = true;
    const SweepResult fresh = Sweep(setup);
    EXPECT_GT(used.chances + fresh.chances, 0u) << "the operation meets no fault to inject";
    database.reset();  // every connection goes before the injector
    Report("SQLite " + kind + " " + OperationName(GetParam()), used);
    Report("SQLite " + kind + " " + OperationName(GetParam()) + ", fresh object", fresh);
  }

  DebugCapture debug_;  // the operations' failure lines stay out of the log
};

TEST_P(SqliteFaultSweep, IoError) { SweepWith(std::make_unique<VfsInjector>(), "I/O error"); }

TEST_P(SqliteFaultSweep, OutOfMemory) {
  auto injector = std::make_unique<AllocatorInjector>();
  if (!injector->installed()) GTEST_SKIP() << "SQLite is in use in this process: its allocator cannot be replaced";
  SweepWith(std::move(injector), "out of memory");
}

INSTANTIATE_TEST_SUITE_P(Faults, SqliteFaultSweep, ::testing::ValuesIn(EveryWriteOperation()),
                         [](const ::testing::TestParamInfo<WriteOperation>& info) {
                           return OperationName(info.param);
                         });

}  // namespace
}  // namespace qz::testing

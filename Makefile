# Entry points for people and CI. Every target installs what is missing first.
BUILD      ?= build
ASAN_BUILD ?= build/asan
TSAN_BUILD ?= build/tsan
TSA_BUILD  ?= build/tsa
JOBS       ?= $(shell nproc)
CTEST_ARGS ?= --output-on-failure -j $(JOBS)

.PHONY: all deps check-format build build-asan build-tsan check check-main check-asan check-tsan check-tsa check-fuzz check-pg fuzz demo bench clean

all: build

deps:
	@./scripts/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

$(ASAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQMR_SANITIZE=ON

build-asan: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)

check-main: build
	cd $(BUILD) && ctest $(CTEST_ARGS)

# Tests that start no Java VM run again under AddressSanitizer and UBSan;
# any report fails the run.
check-asan: build-asan
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest $(CTEST_ARGS) -L nojvm

# The same tests again under ThreadSanitizer: a data race or a lock-order
# inversion fails the run.
$(TSAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQMR_SANITIZE_THREAD=ON

build-tsan: deps $(TSAN_BUILD)/CMakeCache.txt
	cmake --build $(TSAN_BUILD) -j $(JOBS)

check-tsan: build-tsan
	cd $(TSAN_BUILD) && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ctest $(CTEST_ARGS) -L nojvm

# The lock rules: the product built with clang's thread-safety analysis,
# whose findings are errors (compiling is the check), and a test that the
# analysis still rejects a lock rule broken on purpose.
$(TSA_BUILD)/CMakeCache.txt: | deps
	CC=clang CXX=clang++ cmake -S . -B $(TSA_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQMR_THREAD_SAFETY=ON

check-tsa: deps $(TSA_BUILD)/CMakeCache.txt
	cmake --build $(TSA_BUILD) -j $(JOBS)
	cd $(TSA_BUILD) && ctest $(CTEST_ARGS) -L tsa

# The fuzz targets (clang, libFuzzer, ASan+UBSan): the SQL analyser, the
# escape scan of statement texts, the connection-string parser and the
# number, date and time texts. Each runs FUZZ_SECONDS (the analyser twice
# that); FUZZ_TARGETS picks some. check runs each for 30 seconds.
FUZZ_SECONDS ?= 30
FUZZ_TARGETS ?= sql escape connstr paramtext
fuzz: deps
	FUZZ_SECONDS=$(FUZZ_SECONDS) FUZZ_TARGETS="$(FUZZ_TARGETS)" ./scripts/fuzz.sh

check-fuzz: deps
	FUZZ_SECONDS=30 ./scripts/fuzz.sh

# The tree keeps the one format .clang-format describes (clang-format 14).
check-format: deps
	./scripts/check-format.sh

check: check-format check-tsa check-main check-asan check-tsan check-fuzz

# The first thing to run: builds both drivers, registers them in a private
# unixODBC configuration under $(BUILD)/odbc and shows isql on HSQLDB.
demo: deps
	BUILD=$(BUILD) JOBS=$(JOBS) ./scripts/demo.sh

# Only the tests on the throw-away PostgreSQL server (check-main runs them too).
check-pg: build
	cd $(BUILD) && ctest $(CTEST_ARGS) -L pg

# The driver against JDBC directly (not tests): fetch rows per second, a
# static cursor's scrolling, insert with parameter arrays, prepared lookups
# and connects. The last three start their own PostgreSQL server when the
# binaries are there (QMR_BENCH_PG=0: HSQLDB only).
BENCHES ?= fetch scroll insert lookup connect
bench: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target $(BENCHES:%=%_bench)
	@set -e; for b in $(BENCHES); do $(BUILD)/bench/$${b}_bench; echo; done

clean:
	rm -rf $(BUILD)

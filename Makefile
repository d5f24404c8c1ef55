# The two commands a newcomer needs; each installs what it lacks first.
#   make run    builds the Linux program and starts the split tool here
#   make test   builds both platforms and runs every test, Wine ones included,
#               then the Linux tests again under AddressSanitizer and UBSan,
#               those that start threads under ThreadSanitizer,
#               then the fuzz target for a few seconds
#   make fuzz   runs the fuzz target for SECONDS (600 unless given)
#   make mutants [FILES='src/a.cpp ...'] [COUNT=60] [SEED=1]   plants faults
#               in the sources one at a time and lists those the tests miss
#   make install [PREFIX=/usr/local] [DESTDIR=]   the program, its man page and
#               its bash completion; make uninstall takes them away again
#   make deb    a Debian package of the same, in build/posix
# QCLEAVER_WINE_ROUTE=native|qemu|twin chooses how Wine runs the Windows
# program (see scripts/wine-route.sh); by default the best this machine has.

.PHONY: run test fuzz mutants run-windows build screenshots clean install uninstall deb

PREFIX ?= /usr/local

SECONDS ?= 600
# The tests whose engines start a second thread, run again under ThreadSanitizer.
THREADED_TESTS = ^(Recovery|Every/Losing|Recovering/|Patterns/Stretches|Versions/RecoverySet)
# Under the sanitizers any report stops the program, and so fails its test.
SANITIZER_ENV = ASAN_OPTIONS=abort_on_error=1 UBSAN_OPTIONS=abort_on_error=1:print_stacktrace=1

run:
	@bash scripts/install-deps.sh run
	@bash scripts/build.sh posix
	build/posix/cleaver

# No test is skipped silently: each one that could not run says why, by name.
SKIPPED = for log in build/*/Testing/Temporary/LastTest.log; do \
	  grep -h -A1 ': Skipped$$' $$log | grep -v -e ': Skipped$$' -e '^--$$' | sed "s|^|make test: skipped in $${log%%/Testing*}: |"; \
	done; true

test: build
	@. build/wine.env; echo "make test: the Wine suite runs $$wine_about"
	rm -f build/*/Testing/Temporary/LastTest.log
	cd build/posix && ctest --output-on-failure --timeout 600
	cd build/asan && $(SANITIZER_ENV) ctest --output-on-failure --timeout 600
	cd build/tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure --timeout 600 -R '$(THREADED_TESTS)'
	cd build/fuzz && ctest --output-on-failure
	@$(SKIPPED)

# A finding is written to build/fuzz/crash-* (or leak-, timeout-) and fails
# the run; new inputs go to build/fuzz/corpus.
fuzz:
	@bash scripts/install-deps.sh test
	@bash scripts/build.sh fuzz
	build/fuzz/fuzz_join -max_total_time=$(SECONDS) -timeout=10 -print_final_stats=1 \
	  -artifact_prefix=build/fuzz/ build/fuzz/corpus tests/fuzz/corpus

# About 20 minutes for the 60 mutants here (2 cores); results in build/mutants/results.json.
# RERUN=build/mutants/results.json runs that run's survivors again.
COUNT ?= 60
SEED ?= 1
mutants: build
	python3 scripts/mutants.py --count $(COUNT) --seed $(SEED) $(if $(FILES),--files '$(FILES)') \
	  $(if $(RERUN),--rerun '$(RERUN)')

build:
	@bash scripts/install-deps.sh test
	@bash scripts/build.sh all

# The Windows program under Wine, on the display in $$DISPLAY: the 32-bit
# build where anything here can start 32-bit code, else its 64-bit twin.
run-windows: build
	@if [ -z "$$DISPLAY" ]; then echo "run-windows: no display (set DISPLAY, or use xvfb-run)"; exit 1; fi
	@. build/wine.env; echo "$$wine_loader $$wine_build/cleaver.exe"; \
	WINEDEBUG=-all $$wine_loader $$wine_build/cleaver.exe

# Each install keeps the list of what it wrote, DESTDIR included, under the
# place it wrote to (DESTDIR and PREFIX); uninstall takes back what the
# install to the same place wrote, and only that.
INSTALLED = build/posix/installed/$(shell printf '%s' '$(DESTDIR)|$(PREFIX)' | md5sum | cut -c1-16).txt

install:
	@bash scripts/install-deps.sh install
	@bash scripts/build.sh posix
	DESTDIR='$(DESTDIR)' cmake --install build/posix --prefix '$(PREFIX)'
	@mkdir -p build/posix/installed
	@sed 's|^|$(DESTDIR)|' build/posix/install_manifest.txt > $(INSTALLED)

uninstall:
	@test -f $(INSTALLED) || { echo "uninstall: nothing installed in $(DESTDIR)$(PREFIX) from build/posix"; exit 1; }
	xargs -d '\n' rm -f -- < $(INSTALLED)
	@rm -f $(INSTALLED)

deb:
	@bash scripts/install-deps.sh install
	@bash scripts/build.sh posix
	cd build/posix && cpack -G DEB

screenshots:
	@bash scripts/install-deps.sh screenshots
	bash scripts/screenshots.sh

clean:
	rm -rf build

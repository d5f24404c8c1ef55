# The two commands a newcomer needs; each installs what is missing first.
#   make run    builds the Linux program and starts the split tool here
#   make test   builds both platforms and runs every test, Wine ones included

.PHONY: run test run-windows build deps screenshots clean

run: deps
	@bash scripts/build.sh posix
	build/posix/cleaver

test: build
	cd build/posix && ctest --output-on-failure --timeout 600

build: deps
	@bash scripts/build.sh all

deps:
	@bash scripts/install-deps.sh

# The Windows program under Wine, on the display in $$DISPLAY: the 32-bit
# build, or its 64-bit twin where this kernel cannot start 32-bit code.
run-windows: build
	@if [ -z "$$DISPLAY" ]; then echo "run-windows: no display (set DISPLAY, or use xvfb-run)"; exit 1; fi
	@. build/wine.env; echo "$$wine_loader $$wine_build/cleaver.exe"; \
	WINEDEBUG=-all $$wine_loader $$wine_build/cleaver.exe

screenshots: build
	bash scripts/screenshots.sh

clean:
	rm -rf build

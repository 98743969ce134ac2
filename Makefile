# The two commands of the README: `make demo` and `make test`. Both do their
# own set-up (scripts/setup.sh installs the packages on Debian 12 as root).
.PHONY: all setup build demo test check install package clean
PREFIX ?= /usr/local

all: build

setup:
	scripts/setup.sh

build: setup
	scripts/build.sh

# The demo builds only the extractor and the tool, not the test programs.
demo: setup
	scripts/build.sh demo
	scripts/demo.sh

test:
	scripts/test.sh

# The everyday loop: the extractor (which the tool embeds) and the host
# build, then the host tests; no sanitizers, fuzzing or Wine. Minutes.
check: setup
	scripts/build.sh check
	ctest --test-dir build/host --output-on-failure -j "$$(nproc)"

# `make install PREFIX=... DESTDIR=...`: the tool, its manual page, bash
# completion and documents. Builds only the extractor and the tool.
install: setup
	scripts/build.sh tool
	DESTDIR="$(DESTDIR)" cmake --install build/host --prefix "$(PREFIX)"

# lockbox_VERSION_amd64.deb (host build) and the zip of the 32-bit Windows
# tool; builds only what goes into them.
package: setup
	scripts/build.sh tool
	cmake --build build/win32 --target lockbox -j "$$(nproc)"
	cd build/host && cpack
	cd build/win32 && cpack
	@ls -l build/host/lockbox_*.deb build/win32/lockbox-*-windows.zip

clean:
	rm -rf build

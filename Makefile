# The two commands of the README: `make demo` and `make test`. Both do their
# own set-up (scripts/setup.sh installs the packages on Debian 12 as root).
.PHONY: all setup build demo test clean

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

clean:
	rm -rf build

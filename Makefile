# Thin front end over the CMake presets.
PRESETS ?= default asan armv5
JOBS ?= $(shell nproc)

.PHONY: example check deps build clean $(addprefix preset-,$(PRESETS))

# Build the programs and restore the shipped example profiles.
example:
	scripts/install-deps.sh
	cmake --preset default
	cmake --build --preset default -j $(JOBS)
	scripts/example.sh build/default

# Install what the tests need, then build and test every preset.
check: deps $(addprefix preset-,$(PRESETS))

deps:
	scripts/install-deps.sh

preset-%:
	cmake --preset $*
	cmake --build --preset $* -j $(JOBS)
	ctest --preset $* -j $(JOBS)

clean:
	rm -rf build dist

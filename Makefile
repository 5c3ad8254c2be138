# `make check` is the quick loop: the native configuration (build/native, with sanitizers), built
# incrementally, and its fast tests (all but the release and server tests). `make test` builds every
# configuration and runs every tier, Wine included. `make build` builds the shipping configuration
# (build/win-default). `make mutants` (not part of `make test`) breaks the product on purpose, case
# by case, and checks that the tests catch every breakage; `make mutants CASES=slug,slug` runs some.
.PHONY: check demo test build release clean mutants format bench

# Configures (when needed) and builds one configuration of tools/configs.sh under build/.
configure_and_build = bash -c 'root=$$PWD build=$$PWD/build; mkdir -p $$build; source tools/configs.sh; configure_and_build $(1)'

check:
	$(call configure_and_build,native)
	ctest --test-dir build/native --output-on-failure -j "$$(nproc)" -LE 'release|server'

demo:
	tools/demo/run-demo.sh

test:
	tools/run-tests.sh

mutants:
	tests/mutants/mutants.py $(if $(CASES),--cases $(CASES))

build:
	tools/bootstrap.sh
	$(call configure_and_build,win-default)

# Rewrites the C++ files in the project's format (the native tests check it).
format:
	tools/format.sh

# The start-up and download benchmarks, in a network namespace of their own (see README).
bench:
	unshare -n bash -c 'ip link set lo up && bench/run.sh'

# The vendor's bundle in build/release/ (see README, "Releasing").
release:
	tools/release/make-release.sh

clean:
	rm -rf build

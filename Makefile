# The two commands that matter on a fresh machine: `make demo` and `make test`.
# `make mutants` (not part of `make test`) breaks the product on purpose, case by case, and checks
# that the tests catch every breakage; `make mutants CASES=slug,slug` runs some of the cases.
.PHONY: demo test build release clean mutants

demo:
	tools/demo/run-demo.sh

test:
	tools/run-tests.sh

mutants:
	tools/mutants/mutants.py $(if $(CASES),--cases $(CASES))

build:
	tools/bootstrap.sh
	bash -c 'root=$$PWD build=$$PWD/build; mkdir -p $$build; source tools/configs.sh; configure_and_build win'

# The vendor's bundle in build/release/ (see README, "Releasing").
release:
	tools/release/make-release.sh

clean:
	rm -rf build

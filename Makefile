# The two commands that matter on a fresh machine: `make demo` and `make test`.
.PHONY: demo test build release clean

demo:
	tools/demo/run-demo.sh

test:
	tools/run-tests.sh

build:
	tools/bootstrap.sh
	bash -c 'root=$$PWD build=$$PWD/build; mkdir -p $$build; source tools/configs.sh; configure_and_build win'

# The vendor's bundle in build/release/ (see README, "Releasing").
release:
	tools/release/make-release.sh

clean:
	rm -rf build

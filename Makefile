# The two commands that matter on a fresh machine: `make demo` and `make test`.
.PHONY: demo test build clean

demo:
	tools/demo/run-demo.sh

test:
	tools/run-tests.sh

build:
	tools/bootstrap.sh
	bash -c 'root=$$PWD build=$$PWD/build; mkdir -p $$build; source tools/configs.sh; configure_and_build win'

clean:
	rm -rf build

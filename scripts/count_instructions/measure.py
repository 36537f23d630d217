"""Instructions per element of each measured case: one thread of a full run in the middle of its launch, run
through sass_thread over the kernel's SASS with the launch's recorded arguments, its instruction count
divided by the elements it stored. The copy yardstick (one element per thread) is measured the same way.

    measure.py LIBRARY_SASS LAUNCHES YARDSTICK_SASS
"""
import struct
import sys

from sass_thread import functions, run_kernel

KERNELS = {'subset': 'sgl_extract_subarray', 'replace2': 'sgl_replace_array_subset',
           'creplace2': 'csg_replace_array_subset', 'delete': 'sgl_copy_elements', 'cdelete': 'csg_copy_elements',
           'insert': 'sgl_insert_elements', 'concat': 'sgl_copy_to_c', 'build': 'sgl_copy_to_c',
           'rows3': 'sgl_transpose_nd_rows', 'tiles_nd': 'sgl_transpose_nd_array',
           'tiles_2d': 'sgl_transpose_2d_array', 'split1d': 'sgl_split_1d', 'split2d_row': 'sgl_split_2d_row',
           'split2d_col': 'sgl_split_2d_col', 'add': 'sgl_add_matrix'}
COMPLEX = ('creplace2', 'cdelete3')


def kernel_of(label):
    return next(KERNELS[k] for k in sorted(KERNELS, key=len, reverse=True) if label.startswith(k))


def parameters(fields):
    """The parameter bytes as the device lays them out: each argument at its natural alignment."""
    buf = bytearray()
    for field in fields:
        n, data = field.split(':')
        while len(buf) % (8 if int(n) == 8 else 4):
            buf.append(0)
        buf += bytes.fromhex(data)
    return bytes(buf)


def main():
    library, launches, yardstick = sys.argv[1:4]
    funcs = functions(library)
    last = {}
    for line in open(launches):
        fields = line.split()
        last[fields[0]] = fields  # of a call with two launches, the second
    copy = run_kernel(functions(yardstick)['_Z18sgl_copy_yardstickPKfPfi'], struct.pack('<QQi', 0x1000, 0x2000, 1 << 20),
                      (5, 0, 0), (3, 0, 0), (512, 1, 1), (2048, 1, 1))
    print(f'copy yardstick: {copy.count} instructions per element')
    print(f"{'case':<12} {'kernel':<25} {'instructions':>12} {'elements':>8} {'per element':>11}  moves")
    for label, fields in last.items():
        name = kernel_of(label)
        code = funcs[next(m for m in funcs if m.startswith(f'_Z{len(name)}{name}'))]
        grid, block = tuple(map(int, fields[1:4])), tuple(map(int, fields[4:7]))
        if block[1] > 1:  # a tile: a block in the middle
            ctaid, tid = (grid[0] // 2, 0, 0), (5, 3, 0)
        else:
            t = grid[0] * block[0] // 2 + 1
            ctaid, tid = (t // block[0], 0, 0), (t % block[0], 0, 0)
        thread = run_kernel(code, parameters(fields[7:]), tid, ctaid, block, grid)
        stored = sum(w for kind, _, w in thread.stores if kind == 'STG') // (8 if label in COMPLEX else 4)
        words = any(w == 16 for kind, _, w in thread.stores if kind == 'STG')
        print(f"{label:<12} {name:<25} {thread.count:>12} {stored:>8} {thread.count / max(stored, 1):>11.1f}  "
              f"{'16-byte words' if words else 'elements'}")


if __name__ == '__main__':
    main()

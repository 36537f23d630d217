"""A tour of cuda_brelmont from Python: the road of examples/tour.cpp, printing what each step does and returns.

Run after `pip install ./python`, from the source tree (the package finds build/host or build/cuda-native there)
or with CUDA_BRELMONT_LIBRARY naming the library. A failed step raises; the tour then exits non-zero.
"""
import numpy as np

import cuda_brelmont as cb


def show(label, array):
    values = np.asarray(array).ravel()
    print(f"  {label:<28} [" + ", ".join(f"{v:.7g}" for v in values) + "]")


def main():
    print(f"cuda_brelmont tour from Python ({cb.variant()} variant, {cb.library_path()})\n")

    print("1. SGL_InitArray(6, 0.5): a new device array of six floats, all 0.5")
    p = cb.SGL_InitArray(6, 0.5)
    show("p =", p)

    print("2. SGL_Sine(p): each element replaced by its sine, in place")
    cb.SGL_Sine(p)
    show("sin p =", p)

    print("3. SGL_IncrementElement(p, 2) and SGL_DecrementElement(p, 5): one element each")
    cb.SGL_IncrementElement(p, 2)
    cb.SGL_DecrementElement(p, 5)
    cb.synchronize()  # element updates return before their kernels run
    show("p =", p)

    print("4. SGL_SetTensor(p[:2], -1.25): overwrite the first two elements, through a view of them")
    cb.SGL_SetTensor(p[:2], -1.25)
    show("p =", p)

    print("5. SGL_MultArrayScalar(p, 2), then SGL_RoundToNearest(p): halves round toward zero")
    cb.SGL_MultArrayScalar(p, 2.0)
    show("p * 2 =", p)
    cb.SGL_RoundToNearest(p)
    show("rounded =", p)

    print("6. SGL_QuotientAndRemainder(p, d): floored quotients of the first min(6, 4) pairs")
    d = cb.SGL_InitArray(4, -2.0)
    r, q = cb.SGL_QuotientAndRemainder(p, d)
    show("q =", q)
    show("r =", r)

    print("7. SGL_AddArrayArray: p as 2 x 3 plus b as 3 x 2 gives their common 2 x 2 extent")
    b = cb.SGL_InitArray((3, 2), 100.0)
    total = cb.SGL_AddArrayArray(p.reshape(2, 3), b)
    print(f"  result shape {total.shape}, {total.nbytes} bytes")
    show("p + b =", total)

    print("8. SGL_AddArrayElement and SGL_MinMaxArray over p as 2 x 3")
    lowest, highest, at_lowest, at_highest = cb.SGL_MinMaxArray(p.reshape(2, 3))
    print(f"  sum {cb.SGL_AddArrayElement(p):.7g}; minimum {lowest:.7g} at {at_lowest}; "
          f"maximum {highest:.7g} at {at_highest}")

    print("9. CSG_InitArray(3, 1 - 2j) and CSG_SetTensor(c[:1], 4j): complex arrays")
    c = cb.CSG_InitArray(3, 1 - 2j)
    cb.CSG_SetTensor(c[:1], 4j)
    show("c as (re, im) pairs =", c.to_numpy().view(np.float32))

    print("10. SGL_ArraySubset: p as 2 x 3, the 2 x 2 box from (0, 1); then its transpose")
    part = cb.SGL_ArraySubset(p.reshape(2, 3), (0, 1), (2, 2))
    show("box of p =", part)
    turned = cb.SGL_TransposeNDArray(part, (1, 0))
    print(f"  transposed shape {turned.shape}")
    show("box transposed =", turned)

    print("11. 1-D sequences: split a ramp into evens and odds, merge them back, rotate, reverse, read it")
    s = cb.to_device(np.arange(8, dtype=np.float32))
    halves = cb.SGL_Decimate1DArray(s, 2)
    show("decimated by 2: offset 0 =", halves[0])
    show("                offset 1 =", halves[1])
    merged = cb.SGL_Interleave1DArray(halves)
    show("interleaved again =", merged)
    cb.SGL_Rotate1DArray(merged, 3)
    show("rotated by 3 =", merged)  # the download waits for the rotation
    cb.SGL_Reverse1DArray(merged)
    show("reversed =", merged)
    at, crossing = cb.SGL_Interpolate1DArray(s, 2.25), cb.SGL_Threshold1DArray(s, 4.5)
    print(f"  the ramp at x = 2.25 is {at:.7g}; it rises to 4.5 at index {crossing:.7g}")

    print("12. SGL_SortNDArray(p): p sorted ascending, in place")
    cb.SGL_SortNDArray(p)
    show("sorted p =", p)

    print("13. SGL_RemoveDup1DArray(p): each distinct value once, in order of first occurrence")
    u = cb.SGL_RemoveDup1DArray(p)
    print(f"  {u.size} distinct values")
    show("u =", u)

    print("14. every array the library handed over is released with cudaFree when Python collects it")
    print("\ntour complete")


if __name__ == "__main__":
    main()

"""One thread of a kernel, instruction by instruction, from the SASS that cuobjdump -sass prints.

The interpreter knows the integer instructions, predicates, the constant bank (kernel parameters from 0x210)
and branches that the library's copy kernels use. Loads return 0 and stores are recorded with their addresses;
floating-point results are 0 (no branch of the kernels measured depends on a loaded value). Every instruction
issued on the thread's path is counted, predicated-off ones included, as the hardware issues them.
"""
import re
import struct

M32 = 0xffffffff


def functions(path):
    """{mangled name: [(address, instruction text)]} of a cuobjdump -sass listing."""
    funcs, current = {}, None
    for line in open(path):
        m = re.match(r'\s*Function : (\S+)', line)
        if m:
            current = m.group(1)
            funcs[current] = []
            continue
        m = re.match(r'\s*/\*([0-9a-f]{4,})\*/\s+(.*?)\s*;', line)
        if m and current:
            funcs[current].append((int(m.group(1), 16), m.group(2)))
    return funcs


def s32(x):
    x &= M32
    return x - (1 << 32) if x & 0x80000000 else x


class Thread:
    def __init__(self, code, const, tid=(0, 0, 0), ctaid=(0, 0, 0)):
        self.code = code
        self.index = {a: i for i, (a, _) in enumerate(code)}
        self.const = const
        self.R = [0] * 256
        self.UR = [0] * 64
        self.P = [False] * 8
        self.UP = [False] * 8
        self.tid, self.ctaid = tid, ctaid
        self.loads, self.stores = [], []
        self.count = 0
        self.calls = []
        self.trace = []

    # ---- operands
    def cword(self, off, size=4):
        b = self.const.get(off // 4, 0)
        if size == 4:
            return b
        if size == 8:
            return b | (self.const.get(off // 4 + 1, 0) << 32)
        shift = (off % 4) * 8
        return (b >> shift) & ((1 << (8 * size)) - 1)

    def reg(self, tok):
        m = re.match(r'(U?)R(Z|\d+)', tok)
        if m.group(2) == 'Z':
            return 0
        return (self.UR if m.group(1) else self.R)[int(m.group(2))]

    def pair(self, tok):
        m = re.match(r'(U?)R(Z|\d+)', tok)
        if m.group(2) == 'Z':
            return 0
        f = self.UR if m.group(1) else self.R
        n = int(m.group(2))
        return f[n] | (f[n + 1] << 32)

    def val(self, tok, wide=False):
        tok = tok.replace('.reuse', '').strip()
        neg = inv = absv = False
        if tok.startswith('-') and not tok.startswith('-0x') and not re.match(r'-\d', tok):
            neg, tok = True, tok[1:]
        if tok.startswith('~'):
            inv, tok = True, tok[1:]
        if tok.startswith('|'):
            absv, tok = True, tok.strip('|')
        if re.match(r'U?R(Z|\d+)', tok):
            v = self.pair(tok) if wide else self.reg(tok)
        elif tok.startswith('c['):
            m = re.match(r'c\[0x0\]\[(?:(U?R(?:\d+|Z))\+?)?(0x[0-9a-f]+)?\]', tok)
            off = int(m.group(2), 16) if m.group(2) else 0
            if m.group(1):
                off += self.reg(m.group(1))
            v = self.cword(off, 8 if wide else 4)
        elif re.match(r'-?0x[0-9a-f]+', tok):
            v = int(tok, 16) & (0xffffffffffffffff if wide else M32)
        elif re.match(r'-?\d+$', tok):
            v = int(tok) & M32
        else:
            raise ValueError('operand ' + tok)
        if absv:
            v = abs(s32(v))
        if inv:
            v = ~v
        if neg:
            v = -v
        return v & (0xffffffffffffffff if wide else M32)

    def pred(self, tok):
        tok = tok.strip()
        neg = tok.startswith('!')
        tok = tok.lstrip('!')
        if tok in ('PT', 'UPT'):
            v = True
        elif tok.startswith('UP'):
            v = self.UP[int(tok[2:])]
        else:
            v = self.P[int(tok[1:])]
        return (not v) if neg else v

    def setp(self, tok, v):
        if tok in ('PT', 'UPT'):
            return
        if tok.startswith('UP'):
            self.UP[int(tok[2:])] = v
        else:
            self.P[int(tok[1:])] = v

    def setr(self, tok, v, wide=False):
        m = re.match(r'(U?)R(Z|\d+)', tok)
        if m.group(2) == 'Z':
            return
        f = self.UR if m.group(1) else self.R
        n = int(m.group(2))
        f[n] = v & M32
        if wide:
            f[n + 1] = (v >> 32) & M32

    # ---- execution
    def run(self, limit=100000):
        pc = 0
        while True:
            addr, text = self.code[pc]
            self.count += 1
            self.trace.append((addr, text))
            if self.count > limit:
                raise RuntimeError('runaway')
            guard = True
            m = re.match(r'@(!?U?P[T\d]+)\s+(.*)', text)
            if m:
                guard = self.pred(m.group(1))
                text = m.group(2)
            parts = text.split(None, 1)
            op = parts[0]
            ops = [o.strip() for o in re.split(r',(?![^\[]*\])', parts[1])] if len(parts) > 1 else []
            base = op.split('.')[0]
            nxt = pc + 1
            if base == 'EXIT':
                if guard:
                    return
            elif base == 'BRA':
                target = int(ops[-1], 16)
                take = guard and (len(ops) == 1 or self.pred(ops[0]))
                if take:
                    nxt = self.index[target]
            elif base == 'CALL':
                if guard:
                    self.calls.append(pc + 1)
                    nxt = self.index[int(ops[-1], 16)]
            elif base == 'RET':
                if guard:
                    nxt = self.calls.pop()
            elif guard:
                self.execute(op, base, ops)
            pc = nxt

    def execute(self, op, base, o):
        mods = op.split('.')[1:]
        if base in ('NOP', 'BSSY', 'BSYNC', 'BAR', 'WARPSYNC', 'DEPBAR', 'FCHK', 'MEMBAR', 'ERRBAR', 'CCTL'):
            if base == 'FCHK':
                self.setp(o[0], False)
            return
        if base in ('MOV', 'UMOV'):
            self.setr(o[0], self.val(o[1]))
        elif base == 'S2R' or base == 'S2UR':
            sr = o[1]
            table = {'SR_TID.X': self.tid[0], 'SR_TID.Y': self.tid[1], 'SR_TID.Z': self.tid[2],
                     'SR_CTAID.X': self.ctaid[0], 'SR_CTAID.Y': self.ctaid[1], 'SR_CTAID.Z': self.ctaid[2],
                     'SR_LANEID': 0}
            self.setr(o[0], table.get(sr, 0))
        elif base in ('LDC', 'ULDC'):
            size = 8 if '64' in mods else 1 if ('U8' in mods or 'S8' in mods) else 2 if 'U16' in mods else 4
            m = re.match(r'c\[0x0\]\[(?:(U?R(?:\d+|Z))\+?)?(0x[0-9a-f]+)?\]', o[1])
            off = int(m.group(2), 16) if m.group(2) else 0
            if m.group(1):
                off += self.reg(m.group(1))
            self.setr(o[0], self.cword(off, size), wide=size == 8)
        elif base in ('IMAD', 'UIMAD'):
            if 'WIDE' in mods:
                a, b = self.val(o[1]), self.val(o[2])
                if 'U32' not in mods:
                    a, b = s32(a), s32(b)
                self.setr(o[0], a * b + self.val(o[3], wide=True), wide=True)
            elif 'HI' in mods:
                a, b = self.val(o[1]), self.val(o[2])
                if 'U32' not in mods:
                    a, b = s32(a), s32(b)
                self.setr(o[0], (a * b + self.val(o[3], wide=True)) >> 32)
            elif 'X' in mods:
                carry = self.pred(o[4]) if len(o) > 4 else False
                self.setr(o[0], self.val(o[1]) * self.val(o[2]) + self.val(o[3]) + carry)
            else:
                self.setr(o[0], self.val(o[1]) * self.val(o[2]) + self.val(o[3]))
        elif base in ('IADD3', 'UIADD3'):
            dst, rest = o[0], o[1:]
            pouts = []
            while rest and re.match(r'!?U?P[T\d]', rest[0]):
                pouts.append(rest.pop(0))
            srcs = rest[:3]
            pins = rest[3:]
            total = sum(self.val(x) for x in srcs)
            if 'X' in mods:
                total += sum(1 for p in pins if self.pred(p))
            self.setr(dst, total)
            if pouts:
                self.setp(pouts[0], total > M32)
        elif base == 'VIADD':
            self.setr(o[0], self.val(o[1]) + self.val(o[2]))
        elif base in ('VIMNMX', 'VIADDMNMX'):
            if base == 'VIADDMNMX':
                a, b, pmin = self.val(o[1]) + self.val(o[2]), self.val(o[3]), self.pred(o[4])
            else:
                a, b, pmin = self.val(o[1]), self.val(o[2]), self.pred(o[3])
            if 'U32' in mods:
                x, y = a & M32, b & M32
            else:
                x, y = s32(a), s32(b)
            self.setr(o[0], min(x, y) if pmin else max(x, y))
        elif base in ('SHF', 'USHF'):
            lo, sh, hi = self.val(o[1]), self.val(o[2]) & 0x3f, self.val(o[3])
            if 'S32' in mods or 'S64' in mods:
                hi_s = s32(hi)
                full = (hi_s << 32) | lo
            else:
                full = (hi << 32) | lo
            if 'R' in mods:
                r = full >> sh
            else:
                r = full << sh
            self.setr(o[0], (r >> 32) if 'HI' in mods else r)
        elif base in ('LEA', 'ULEA'):
            dst, rest = o[0], o[1:]
            pout = None
            if re.match(r'!?U?P[T\d]', rest[0]):
                pout = rest.pop(0)
            if 'HI' in mods and 'SX32' in mods:
                a, b, sh = self.val(rest[0]), self.val(rest[1]), self.val(rest[2])
                carry = self.pred(rest[3]) if 'X' in mods and len(rest) > 3 else 0
                c = 0xffffffff if a & 0x80000000 else 0
                self.setr(dst, ((((c << 32) | a) << sh) >> 32) + b + carry)
            elif 'HI' in mods:
                a, b, c, sh = self.val(rest[0]), self.val(rest[1]), self.val(rest[2]), self.val(rest[3])
                carry = self.pred(rest[4]) if 'X' in mods and len(rest) > 4 else 0
                self.setr(dst, ((((c << 32) | a) << sh) >> 32) + b + carry)
            else:
                a, b, sh = self.val(rest[0]), self.val(rest[1]), self.val(rest[2])
                total = ((a << sh) & M32) + b
                self.setr(dst, total)
                if pout:
                    self.setp(pout, total > M32)
        elif base in ('LOP3', 'ULOP3'):
            if re.match(r'!?U?P[T\d]', o[0]):
                pd, dst, a, b, c, lut = o[0], o[1], self.val(o[2]), self.val(o[3]), self.val(o[4]), self.val(o[5])
            else:
                pd, dst, a, b, c, lut = None, o[0], self.val(o[1]), self.val(o[2]), self.val(o[3]), self.val(o[4])
            r = 0
            for bit in range(32):
                idx = ((a >> bit & 1) << 2) | ((b >> bit & 1) << 1) | (c >> bit & 1)
                r |= ((lut >> idx) & 1) << bit
            self.setr(dst, r)
            if pd:
                self.setp(pd, r != 0)
        elif base == 'PLOP3':
            a, b, c = self.pred(o[2]), self.pred(o[3]), self.pred(o[4])
            lut = self.val(o[5])
            idx = (a << 2) | (b << 1) | c
            self.setp(o[0], bool(lut >> idx & 1))
        elif base in ('ISETP', 'UISETP'):
            cmp, unsigned = mods[0], 'U32' in mods
            bop = [m for m in mods if m in ('AND', 'OR', 'XOR')][0]
            a, b = self.val(o[2]), self.val(o[3])
            if 'EX' in mods:
                lo = self.pred(o[5])
                ha, hb = (a, b) if unsigned else (s32(a), s32(b))
                if ha != hb:
                    res = {'LT': ha < hb, 'LE': ha < hb, 'GT': ha > hb, 'GE': ha > hb, 'EQ': False, 'NE': True}[cmp]
                else:
                    res = lo
            else:
                x, y = (a, b) if unsigned else (s32(a), s32(b))
                res = {'LT': x < y, 'LE': x <= y, 'GT': x > y, 'GE': x >= y, 'EQ': x == y, 'NE': x != y}[cmp]
            pc_ = self.pred(o[4])
            f = {'AND': lambda p, q: p and q, 'OR': lambda p, q: p or q, 'XOR': lambda p, q: p != q}[bop]
            self.setp(o[0], f(res, pc_))
            self.setp(o[1], f(not res, pc_))
        elif base == 'SEL':
            self.setr(o[0], self.val(o[1]) if self.pred(o[3]) else self.val(o[2]))
        elif base == 'PRMT':
            a, sel, b = self.val(o[1]), self.val(o[2]), self.val(o[3])
            by = [(a >> (8 * i)) & 0xff for i in range(4)] + [(b >> (8 * i)) & 0xff for i in range(4)]
            r = 0
            for i in range(4):
                s = (sel >> (4 * i)) & 0xf
                v = by[s & 7]
                if s & 8:
                    v = 0xff if v & 0x80 else 0
                r |= v << (8 * i)
            self.setr(o[0], r)
        elif base == 'HFMA2':
            # only the constant form: -RZ * RZ + (h1, h2)
            def half(x):
                return struct.unpack('<H', struct.pack('<e', float(x)))[0]
            self.setr(o[0], (half(o[3]) << 16) | half(o[4]))
        elif base == 'CS2R':
            self.setr(o[0], 0, wide=True)
        elif base == 'P2R':
            mask = self.val(o[3])
            r = 0
            for i in range(7):
                if mask >> i & 1 and self.P[i]:
                    r |= 1 << i
            self.setr(o[0], (self.val(o[2]) & ~mask) | r)
        elif base == 'R2P':
            v, mask = self.val(o[1]), self.val(o[2])
            for i in range(7):
                if mask >> i & 1:
                    self.P[i] = bool(v >> i & 1)
        elif base in ('LDG', 'LDS', 'LDL', 'LD'):
            width = 16 if '128' in mods else 8 if '64' in mods else 4
            self.loads.append((base, self.address(o[1]), width))
            for k in range(width // 4):
                self.setr(re.sub(r'\d+', lambda m: str(int(m.group()) + k), o[0]), 0)
        elif base in ('STG', 'STS', 'STL', 'ST'):
            width = 16 if '128' in mods else 8 if '64' in mods else 4
            self.stores.append((base, self.address(o[0]), width))
        else:
            # floating point and the rest: a zero result, false predicates
            if o and re.match(r'U?R[Z\d]', o[0]):
                self.setr(o[0], 0)
            elif o and re.match(r'!?U?P', o[0]):
                self.setp(o[0], False)

    def address(self, tok):
        m = re.search(r'\[(U?R[Z\d]+)(\.64)?(?:\+(-?0x[0-9a-f]+))?\]$', tok)
        if not m:
            return None
        v = self.pair(m.group(1)) if m.group(2) else self.reg(m.group(1))
        return v + (int(m.group(3), 16) if m.group(3) else 0)


def run_kernel(code, params, tid, ctaid, block, grid):
    """Runs one thread of code (a function of functions()) with the parameter bytes params."""
    const = {}
    words = {0x0: block[0], 0x4: block[1], 0x8: block[2], 0xc: grid[0], 0x10: grid[1], 0x14: grid[2],
             0x28: 0x00fffff0}
    for off, v in words.items():
        const[off // 4] = v
    for i in range(0, len(params), 4):
        const[(0x210 + i) // 4] = struct.unpack_from('<I', params, i)[0]
    t = Thread(code, const, tid, ctaid)
    t.run()
    return t

// A large design of a shape that strains the router: a 256 x 99 store
// buffer with one write and one registered read port, which synthesis
// turns into 25,344 flip-flops behind 99 read multiplexers, inside a core
// whose state feeds both ports and takes the read data back. With one copy
// of frisc beside it (bench/fit_large.sh) it comes to about 16,500 LUTs and
// 27,600 registers.
module store_core #(parameter W = 99, parameter N = 256, parameter R = 12) (
  input clk, input [W-1:0] din, output [W-1:0] dout);
  reg [W-1:0] mem [0:N-1];
  reg [W-1:0] rd;
  reg [W-1:0] st [0:R];
  reg [7:0] wa, ra;
  integer i;
  always @(posedge clk) begin
    if (st[R][0]) mem[wa] <= st[R] ^ din;
    rd <= mem[ra];
    wa <= st[R][8:1] + wa;
    ra <= st[R][16:9] ^ rd[7:0];
    st[0] <= din ^ rd;
    for (i = 0; i < R; i = i + 1)
      st[i+1] <= {st[i][W-2:0], st[i][W-1]} + ({st[i][W-12:0], st[i][W-1:W-11]} ^ st[i] ^ rd);
  end
  assign dout = st[R];
endmodule

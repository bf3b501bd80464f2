-- Runs every frame with the player object: the arrow keys (GLFW key codes)
-- set the body's velocity, y pointing up. Key answers are the numbers 1 and
-- 0, and 0 counts as true in Lua: compare with 1.
local player = ...
local body = player:GetComponent("PhysicsBody")
local vx, vy = 0, 0
if IsKeyPressed(263) == 1 then vx = vx - 300 end -- Left
if IsKeyPressed(262) == 1 then vx = vx + 300 end -- Right
if IsKeyPressed(265) == 1 then vy = vy + 300 end -- Up
if IsKeyPressed(264) == 1 then vy = vy - 300 end -- Down
body:SetVelX(vx)
body:SetVelY(vy)
